#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tarvo {

// How reading the update feed or fetching from the update server fails.
class AppcastError final : public std::exception {
public:
    enum class Kind { lengthMismatch, downloadFailed, malformedFeed, noItems, signatureInvalid };

    static AppcastError lengthMismatch(qint64 expected, qint64 got) {
        return {Kind::lengthMismatch, expected, got, QString()};
    }
    // `text` says why, e.g. "HTTP 404".
    static AppcastError downloadFailed(QString text) {
        return {Kind::downloadFailed, 0, 0, std::move(text)};
    }
    // `reason` is the XML reader's own message with its place in the document.
    static AppcastError malformedFeed(QString reason = QString()) {
        return {Kind::malformedFeed, 0, 0, std::move(reason)};
    }
    static AppcastError noItems() { return {Kind::noItems, 0, 0, QString()}; }
    static AppcastError signatureInvalid() { return {Kind::signatureInvalid, 0, 0, QString()}; }

    Kind kind() const { return m_kind; }
    qint64 expected() const { return m_expected; }
    qint64 got() const { return m_got; }
    const QString& text() const { return m_text; }
    // "downloadFailed(HTTP 404)", "lengthMismatch(expected: 10, got: 11)",
    // "noItems": for log lines and test output.
    QString description() const;
    const char* what() const noexcept override { return m_what.c_str(); }

    bool operator==(const AppcastError& other) const {
        return m_kind == other.m_kind && m_expected == other.m_expected && m_got == other.m_got &&
               m_text == other.m_text;
    }

private:
    AppcastError(Kind kind, qint64 expected, qint64 got, QString text);

    Kind m_kind;
    qint64 m_expected;
    qint64 m_got;
    QString m_text;
    std::string m_what;
};

} // namespace tarvo
