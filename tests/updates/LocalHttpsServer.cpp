#include "LocalHttpsServer.h"

#include "TarvoCore/LibCrypto.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <optional>
#include <stdexcept>

namespace tarvo::test {

namespace {

QByteArray pem(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension || X509_add_ext(certificate, extension, -1) != 1)
        throw std::runtime_error("could not add a certificate extension");
    X509_EXTENSION_free(extension);
}

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

constexpr qint64 endlessPiece = 64 * 1024;

} // namespace

TestCertificate TestCertificate::make() {
    // As in the program, OpenSSL is started by us first, so that it stays
    // whole until Qt's network threads have ended.
    LibCrypto::get();
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* certificate = X509_new();
    if (!key || !certificate)
        throw std::runtime_error("could not make a test certificate");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    addExtension(certificate, NID_subject_alt_name, "IP:127.0.0.1");
    addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE");
    if (X509_sign(certificate, key, EVP_sha256()) == 0)
        throw std::runtime_error("could not sign the test certificate");

    BIO* certificateBio = BIO_new(BIO_s_mem());
    BIO* keyBio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(certificateBio, certificate);
    PEM_write_bio_PrivateKey(keyBio, key, nullptr, nullptr, 0, nullptr, nullptr);
    TestCertificate result{QSslCertificate(pem(certificateBio), QSsl::Pem),
                           QSslKey(pem(keyBio), QSsl::Ec, QSsl::Pem)};
    BIO_free(certificateBio);
    BIO_free(keyBio);
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (result.certificate.isNull() || result.key.isNull())
        throw std::runtime_error("Qt could not read the test certificate");
    return result;
}

LocalHttpsServer::LocalHttpsServer()
    : m_certificate(TestCertificate::make()), m_server(std::make_unique<QSslServer>()) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(m_certificate.certificate);
    tls.setPrivateKey(m_certificate.key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server->setSslConfiguration(tls);
    // Each socket is taken as its handshake starts, so no byte of the request
    // can come before we listen; once encrypted it is also queued as pending,
    // and taken off that queue so the server never holds a deleted socket.
    QObject::connect(m_server.get(), &QSslServer::startedEncryptionHandshake, m_server.get(),
                     [this](QSslSocket* socket) { accept(socket); });
    const auto unqueue = [this] {
        while (m_server->hasPendingConnections())
            m_server->nextPendingConnection();
    };
    QObject::connect(m_server.get(), &QSslServer::pendingConnectionAvailable, m_server.get(),
                     unqueue);
    QObject::connect(m_server.get(), &QSslServer::newConnection, m_server.get(), unqueue);
    m_server->listen(QHostAddress::LocalHost, 0);
}

LocalHttpsServer::~LocalHttpsServer() {
    m_server->close();
}

bool LocalHttpsServer::isListening() const {
    return m_server->isListening();
}

quint16 LocalHttpsServer::port() const {
    return m_server->serverPort();
}

QUrl LocalHttpsServer::url(const QString& path) const {
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LocalHttpsServer::route(const QByteArray& path, Route route) {
    m_routes.insert(path, std::move(route));
}

std::vector<QByteArray> LocalHttpsServer::requestedPaths() const {
    std::vector<QByteArray> paths;
    for (const Request& request : m_requests)
        paths.push_back(request.path);
    return paths;
}

void LocalHttpsServer::accept(QSslSocket* socket) {
    QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // The request so far; none once it has been read.
    auto buffer = std::make_shared<std::optional<QByteArray>>(QByteArray());
    const auto read = [this, socket, buffer] {
        if (!*buffer) {
            socket->readAll();
            return;
        }
        QByteArray& text = **buffer;
        text.append(socket->readAll());
        const qsizetype end = text.indexOf("\r\n\r\n");
        if (end < 0) {
            if (text.size() > 64 * 1024)
                socket->abort();
            return;
        }
        const QList<QByteArray> lines = text.left(end).split('\n');
        buffer->reset();
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = first.value(0);
        request.path = first.value(1).split('?').value(0);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        if (static_cast<int>(m_requests.size()) >= maxRequests) {
            socket->abort();
            return;
        }
        m_requests.push_back(request);
        answer(socket, request);
    };
    QObject::connect(socket, &QSslSocket::readyRead, socket, read);
    if (socket->bytesAvailable() > 0)
        read();
}

void LocalHttpsServer::answer(QSslSocket* socket, const Request& request) {
    const auto it = m_routes.constFind(request.path);
    const Route route =
        it != m_routes.constEnd() ? it.value() : Route{Route::Kind::respond, 404, "not found", {}};
    if (route.kind == Route::Kind::silent)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason(route.status) +
                      "\r\nConnection: close\r\n";
    for (const auto& [name, value] : route.headers)
        head += name + ": " + value + "\r\n";
    if (route.kind == Route::Kind::drip) {
        socket->write(head + "Content-Type: application/octet-stream\r\n\r\n");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write("x");
        });
        timer->start(dripInterval);
        return;
    }
    if (route.kind == Route::Kind::stall) {
        socket->write(head + "Content-Length: " + QByteArray::number(route.body.size()) +
                      "\r\n\r\n");
        return;
    }
    if (route.kind == Route::Kind::endless) {
        socket->write(head + "Content-Type: application/octet-stream\r\n\r\n");
        QObject::connect(socket, &QSslSocket::encryptedBytesWritten, socket,
                         [this, socket] { pump(socket); });
        pump(socket);
        return;
    }
    head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n\r\n";
    socket->write(head + route.body);
    socket->disconnectFromHost();
}

void LocalHttpsServer::pump(QSslSocket* socket) {
    while (socket->state() == QAbstractSocket::ConnectedState &&
           socket->encryptedBytesToWrite() + socket->bytesToWrite() < 4 * endlessPiece) {
        if (m_endlessSent >= endlessCap) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(QByteArray(endlessPiece, 'x'));
        m_endlessSent += endlessPiece;
    }
}

} // namespace tarvo::test
