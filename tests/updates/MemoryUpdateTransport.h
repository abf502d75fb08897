#pragma once

#include "TarvoUpdates/UpdateTransport.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace tarvo::test {

// An update transport over answers set up in memory. Like the network, it
// hands each piece over from the event loop, one piece per turn of the loop.
class MemoryUpdateTransport final : public UpdateTransport {
public:
    struct Response {
        std::vector<QByteArray> pieces;
        // Reported after the last piece; none means success.
        std::optional<FetchFailure> failure;
        // Stops before this piece until resume() is called.
        std::optional<size_t> pauseBefore;
    };

    MemoryUpdateTransport();
    ~MemoryUpdateTransport() override;

    // An address without a response answers "HTTP 404".
    void serve(const QUrl& url, Response response);
    // Every address fetched, in order.
    const std::vector<QUrl>& fetched() const { return m_fetched; }
    // How many pieces were handed over for `url`, over all its fetches.
    int piecesDelivered(const QUrl& url) const { return m_delivered.value(url); }
    // Fetches under way that nobody stopped.
    int running() const;
    // Continues every paused fetch, and lets those under way that have not
    // reached their pause yet run through it.
    void resume();

    std::unique_ptr<FetchTask> fetch(const QUrl& url, DataHandler onData,
                                     FinishHandler onFinished) override;

private:
    struct Delivery;
    void step(const std::shared_ptr<Delivery>& delivery);

    QHash<QUrl, Response> m_responses;
    std::vector<QUrl> m_fetched;
    QHash<QUrl, int> m_delivered;
    std::vector<std::weak_ptr<Delivery>> m_deliveries;
    std::unique_ptr<QObject> m_context;
};

} // namespace tarvo::test
