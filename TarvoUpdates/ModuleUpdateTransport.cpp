#include "ModuleUpdateTransport.h"

#include "TarvoCore/LibCrypto.h"
#include "TarvoCore/Log.h"

#include <QObject>
#include <QTimer>

namespace tarvo {

namespace {

// A fetch that fails from the event loop, as every fetch reports.
class FailedFetch final : public FetchTask {
public:
    FailedFetch(FetchFailure failure, UpdateTransport::FinishHandler onFinished) {
        QTimer::singleShot(0, &m_context,
                           [failure = std::move(failure), onFinished = std::move(onFinished)] {
                               onFinished(failure);
                           });
    }

private:
    // Destroying the task drops the report still queued.
    QObject m_context;
};

} // namespace

ModuleUpdateTransport::ModuleUpdateTransport() : m_transport(Log::updates()) {}

ModuleUpdateTransport::~ModuleUpdateTransport() = default;

std::unique_ptr<FetchTask> ModuleUpdateTransport::fetch(const QUrl& url, DataHandler onData,
                                                        FinishHandler onFinished) {
    // OpenSSL is started by us before Qt's TLS backend starts it.
    if (!m_transport.made())
        LibCrypto::get();
    UpdateTransport* transport = m_transport.get();
    if (!transport) {
        return std::make_unique<FailedFetch>(
            FetchFailure{
                FetchFailure::Reason::network,
                QStringLiteral("%1 is not installed").arg(QLatin1String(NetworkModule::fileName))},
            std::move(onFinished));
    }
    return transport->fetch(url, std::move(onData), std::move(onFinished));
}

} // namespace tarvo
