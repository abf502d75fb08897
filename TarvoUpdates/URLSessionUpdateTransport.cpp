#include "URLSessionUpdateTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>

namespace tarvo {

namespace {

// Shared by the task and the reply's connections, so a handler may destroy
// the task while the transport is still inside one of its slots.
struct Transfer {
    QPointer<QNetworkReply> reply;
    UpdateTransport::DataHandler onData;
    UpdateTransport::FinishHandler onFinished;
    bool done = false;

    // Ends the transfer without a word to the handlers.
    void stop() {
        done = true;
        if (QNetworkReply* r = reply.data()) {
            reply = nullptr;
            QObject::disconnect(r, nullptr, nullptr, nullptr);
            if (r->isRunning())
                r->abort();
            r->deleteLater();
        }
    }

    void finish(const std::optional<FetchFailure>& failure) {
        if (done)
            return;
        const UpdateTransport::FinishHandler handler = std::move(onFinished);
        stop();
        onData = nullptr;
        handler(failure);
    }
};

class ReplyTask final : public FetchTask {
public:
    explicit ReplyTask(std::shared_ptr<Transfer> transfer) : m_transfer(std::move(transfer)) {}
    ~ReplyTask() override { m_transfer->stop(); }

private:
    std::shared_ptr<Transfer> m_transfer;
};

std::optional<int> httpStatus(const QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

bool isSuccess(int status) {
    return status >= 200 && status <= 299;
}

// Hands what has arrived to the data handler; false when the transfer ended.
bool deliver(const std::shared_ptr<Transfer>& transfer) {
    QNetworkReply* reply = transfer->reply.data();
    if (transfer->done || !reply)
        return false;
    const auto status = httpStatus(reply);
    if (status && *status >= 300 && *status <= 399 &&
        reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid()) {
        // A redirect's own body; the target's answer follows.
        return true;
    }
    if (status && !isSuccess(*status)) {
        // A refused answer's body is of no interest, however long it is.
        transfer->finish(
            FetchFailure{FetchFailure::Reason::httpStatus, QStringLiteral("HTTP %1").arg(*status)});
        return false;
    }
    if (!reply->isOpen())
        return true;
    const QByteArray piece = reply->readAll();
    if (piece.isEmpty())
        return true;
    if (!transfer->onData(piece)) {
        transfer->stop();
        return false;
    }
    return !transfer->done;
}

// The most that waits unread between two deliveries.
constexpr qint64 readAheadLimit = 1 << 20;

} // namespace

URLSessionUpdateTransport::URLSessionUpdateTransport() : URLSessionUpdateTransport(Options{}) {}

URLSessionUpdateTransport::URLSessionUpdateTransport(Options options)
    : m_options(std::move(options)), m_session(std::make_unique<QNetworkAccessManager>()) {
    m_session->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

URLSessionUpdateTransport::~URLSessionUpdateTransport() = default;

std::unique_ptr<FetchTask> URLSessionUpdateTransport::fetch(const QUrl& url, DataHandler onData,
                                                            FinishHandler onFinished) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tarvo"));
    // Bytes as the server holds them: the signature covers the archive itself,
    // and nothing is inflated on the way.
    request.setRawHeader("Accept-Encoding", "identity");
    // No cookie is sent or kept.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setTransferTimeout(static_cast<int>(m_options.timeout.count()));
    if (!m_options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }

    auto transfer = std::make_shared<Transfer>();
    transfer->onData = std::move(onData);
    transfer->onFinished = std::move(onFinished);
    QNetworkReply* reply = m_session->get(request);
    // Qt's network thread otherwise reads all the server sends ahead of us, so
    // an endless answer would fill memory before the handler can refuse it.
    reply->setReadBufferSize(readAheadLimit);
    transfer->reply = reply;

    QObject::connect(reply, &QNetworkReply::redirected, reply, [transfer](const QUrl& target) {
        QNetworkReply* r = transfer->reply.data();
        if (transfer->done || !r)
            return;
        if (target.scheme() == u"https") {
            emit r->redirectAllowed();
            return;
        }
        transfer->finish(FetchFailure{
            FetchFailure::Reason::insecureRedirect,
            QStringLiteral("redirect to %1 refused")
                .arg(target.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery))});
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [transfer] { deliver(transfer); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [transfer] {
        QNetworkReply* r = transfer->reply.data();
        if (transfer->done || !r)
            return;
        const QNetworkReply::NetworkError error = r->error();
        if (!deliver(transfer))
            return;
        if (error == QNetworkReply::OperationCanceledError ||
            error == QNetworkReply::TimeoutError) {
            // Only the transfer time-out cancels a reply this task still listens to.
            transfer->finish(FetchFailure{FetchFailure::Reason::timedOut,
                                          QStringLiteral("no answer within the time-out")});
        } else if (error != QNetworkReply::NoError) {
            const auto status = httpStatus(r);
            if (status && !isSuccess(*status))
                transfer->finish(FetchFailure{FetchFailure::Reason::httpStatus,
                                              QStringLiteral("HTTP %1").arg(*status)});
            else
                transfer->finish(FetchFailure{FetchFailure::Reason::network, r->errorString()});
        } else if (const auto status = httpStatus(r); status && !isSuccess(*status)) {
            transfer->finish(FetchFailure{FetchFailure::Reason::httpStatus,
                                          QStringLiteral("HTTP %1").arg(*status)});
        } else {
            transfer->finish(std::nullopt);
        }
    });
    return std::make_unique<ReplyTask>(std::move(transfer));
}

} // namespace tarvo
