#include "ModuleUpdateTransport.h"

#include "NetworkModule.h"

#include "TarvoCore/LoadableModule.h"
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

ModuleUpdateTransport::ModuleUpdateTransport() = default;

ModuleUpdateTransport::~ModuleUpdateTransport() = default;

std::unique_ptr<FetchTask> ModuleUpdateTransport::fetch(const QUrl& url, DataHandler onData,
                                                        FinishHandler onFinished) {
    if (!m_looked) {
        m_looked = true;
        if (void* entry =
                LoadableModule::entry(NetworkModule::fileName, NetworkModule::entryName)) {
            const NetworkModule* module = reinterpret_cast<NetworkModuleEntry>(entry)();
            if (module && module->version == NetworkModule::currentVersion)
                m_transport.reset(module->makeTransport());
            else
                Log::updates().error(QStringLiteral("%1 is from another build of Tarvo")
                                         .arg(QLatin1String(NetworkModule::fileName)));
        }
    }
    if (!m_transport) {
        return std::make_unique<FailedFetch>(
            FetchFailure{
                FetchFailure::Reason::network,
                QStringLiteral("%1 is not installed").arg(QLatin1String(NetworkModule::fileName))},
            std::move(onFinished));
    }
    return m_transport->fetch(url, std::move(onData), std::move(onFinished));
}

} // namespace tarvo
