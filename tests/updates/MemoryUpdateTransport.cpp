#include "MemoryUpdateTransport.h"

#include <QTimer>

namespace tarvo::test {

struct MemoryUpdateTransport::Delivery {
    QUrl url;
    Response response;
    DataHandler onData;
    FinishHandler onFinished;
    size_t next = 0;
    bool paused = false;
    bool stopped = false;
};

namespace {

class MemoryTask final : public FetchTask {
public:
    explicit MemoryTask(std::shared_ptr<void> delivery, bool* stopped)
        : m_delivery(std::move(delivery)), m_stopped(stopped) {}
    ~MemoryTask() override { *m_stopped = true; }

private:
    std::shared_ptr<void> m_delivery;
    bool* m_stopped;
};

} // namespace

MemoryUpdateTransport::MemoryUpdateTransport() : m_context(std::make_unique<QObject>()) {}

MemoryUpdateTransport::~MemoryUpdateTransport() = default;

void MemoryUpdateTransport::serve(const QUrl& url, Response response) {
    m_responses.insert(url, std::move(response));
}

int MemoryUpdateTransport::running() const {
    int count = 0;
    for (const auto& weak : m_deliveries) {
        if (const auto delivery = weak.lock(); delivery && !delivery->stopped)
            ++count;
    }
    return count;
}

void MemoryUpdateTransport::resume() {
    for (const auto& weak : m_deliveries) {
        const auto delivery = weak.lock();
        if (!delivery)
            continue;
        // A fetch that has not reached its pause yet must not stop there later.
        delivery->response.pauseBefore.reset();
        if (delivery->paused) {
            delivery->paused = false;
            QTimer::singleShot(0, m_context.get(), [this, delivery] { step(delivery); });
        }
    }
}

std::unique_ptr<FetchTask> MemoryUpdateTransport::fetch(const QUrl& url, DataHandler onData,
                                                        FinishHandler onFinished) {
    m_fetched.push_back(url);
    auto delivery = std::make_shared<Delivery>();
    delivery->url = url;
    delivery->response =
        m_responses.contains(url)
            ? m_responses.value(url)
            : Response{{},
                       FetchFailure{FetchFailure::Reason::httpStatus, QStringLiteral("HTTP 404")},
                       std::nullopt};
    delivery->onData = std::move(onData);
    delivery->onFinished = std::move(onFinished);
    m_deliveries.push_back(delivery);
    QTimer::singleShot(0, m_context.get(), [this, delivery] { step(delivery); });
    return std::make_unique<MemoryTask>(delivery, &delivery->stopped);
}

void MemoryUpdateTransport::step(const std::shared_ptr<Delivery>& delivery) {
    if (delivery->stopped)
        return;
    const Response& response = delivery->response;
    if (response.pauseBefore && delivery->next == *response.pauseBefore) {
        delivery->paused = true;
        return;
    }
    if (delivery->next < response.pieces.size()) {
        const QByteArray piece = response.pieces[delivery->next++];
        m_delivered[delivery->url] += 1;
        if (!delivery->onData(piece)) {
            delivery->stopped = true;
            return;
        }
        if (!delivery->stopped)
            QTimer::singleShot(0, m_context.get(), [this, delivery] { step(delivery); });
        return;
    }
    delivery->stopped = true;
    const FinishHandler handler = delivery->onFinished;
    handler(response.failure);
}

} // namespace tarvo::test
