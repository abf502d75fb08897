#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo {

// Why a fetch ended without the whole body.
struct FetchFailure {
    enum class Reason {
        httpStatus,       // an answer outside 200-299
        insecureRedirect, // a redirect to an address that is not https
        timedOut,         // nothing arrived within the time-out
        network,          // the connection, TLS or the transfer failed
    };
    Reason reason;
    // For the log: "HTTP 404", "redirect to http://… refused", the network's own text.
    QString description;

    bool operator==(const FetchFailure&) const = default;
};

// One fetch under way. Destroying it stops the transfer; nothing is reported
// after that.
class FetchTask {
public:
    virtual ~FetchTask() = default;
};

// How the update check reaches the network: one operation, fetching a body.
class UpdateTransport {
public:
    // Receives the body in pieces as they arrive. Answering false stops the
    // transfer; nothing is reported after that.
    using DataHandler = std::function<bool(const QByteArray& piece)>;
    // Called once when the transfer ends: no failure means the whole body has
    // been handed to the data handler.
    using FinishHandler = std::function<void(const std::optional<FetchFailure>& failure)>;

    virtual ~UpdateTransport() = default;

    // Starts fetching `url`. The handlers are called from the event loop of the
    // calling thread, never from inside this call, and may destroy the task.
    virtual std::unique_ptr<FetchTask> fetch(const QUrl& url, DataHandler onData,
                                             FinishHandler onFinished) = 0;
};

} // namespace tarvo
