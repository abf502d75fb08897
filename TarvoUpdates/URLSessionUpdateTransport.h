#pragma once

#include "UpdateTransport.h"

#include <QList>
#include <QSslCertificate>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace tarvo {

// The update transport over Qt Network and OpenSSL: https with the system's
// certificate authorities, redirects followed only to https, no cookies, no
// cache, "User-Agent: Tarvo", and a time-out on a transfer that goes quiet.
class URLSessionUpdateTransport final : public UpdateTransport {
public:
    struct Options {
        // How long a transfer may go without any progress before it fails.
        std::chrono::milliseconds timeout{20000};
        // Trusted beside the system's authorities (tests trust their own
        // throwaway certificate this way).
        QList<QSslCertificate> extraCaCertificates;
    };

    URLSessionUpdateTransport();
    explicit URLSessionUpdateTransport(Options options);
    ~URLSessionUpdateTransport() override;

    std::unique_ptr<FetchTask> fetch(const QUrl& url, DataHandler onData,
                                     FinishHandler onFinished) override;

private:
    Options m_options;
    std::unique_ptr<QNetworkAccessManager> m_session;
};

} // namespace tarvo
