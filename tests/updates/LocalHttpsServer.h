#pragma once

#include <QByteArray>
#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

#include <memory>
#include <utility>
#include <vector>

class QSslServer;
class QSslSocket;

namespace tarvo::test {

// A throwaway self-signed certificate for 127.0.0.1, made for one test.
struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;
    static TestCertificate make();
};

// An https server on 127.0.0.1 only, in this process and on this thread's
// event loop, with its own throwaway certificate. It answers a bounded number
// of requests from a table of routes and stops sending when the client leaves.
class LocalHttpsServer final {
public:
    struct Route {
        enum class Kind {
            respond, // status, headers and body, then close
            endless, // 200 without a length, then bytes until the client leaves
            silent,  // reads the request and never answers
            drip,    // status and headers without a length, then one byte per dripInterval
            stall,   // status, headers and the body's length, then nothing more
        };
        Kind kind = Kind::respond;
        int status = 200;
        QByteArray body;
        std::vector<std::pair<QByteArray, QByteArray>> headers;
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    static constexpr int maxRequests = 32;
    // An endless answer stops here whatever the client does.
    static constexpr qint64 endlessCap = qint64(64) << 20;
    static constexpr int dripInterval = 200; // milliseconds

    LocalHttpsServer();
    ~LocalHttpsServer();
    LocalHttpsServer(const LocalHttpsServer&) = delete;
    LocalHttpsServer& operator=(const LocalHttpsServer&) = delete;

    bool isListening() const;
    quint16 port() const;
    QUrl url(const QString& path) const; // https://127.0.0.1:<port><path>
    const QSslCertificate& certificate() const { return m_certificate.certificate; }

    // Routes match the request's path without its query; others get 404.
    void route(const QByteArray& path, Route route);
    const std::vector<Request>& requests() const { return m_requests; }
    std::vector<QByteArray> requestedPaths() const;
    // Bytes of endless answers written so far.
    qint64 endlessBytesSent() const { return m_endlessSent; }

private:
    void accept(QSslSocket* socket);
    void answer(QSslSocket* socket, const Request& request);
    void pump(QSslSocket* socket);

    TestCertificate m_certificate;
    std::unique_ptr<QSslServer> m_server;
    QHash<QByteArray, Route> m_routes;
    std::vector<Request> m_requests;
    qint64 m_endlessSent = 0;
};

} // namespace tarvo::test
