#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tarvo {

// Why a conversion failed. The text of the first four cases names what failed
// (a file name, never a full path); no one shows it to the user.
class ConversionError final : public std::exception {
public:
    enum class Kind { cannotRead, cannotDecode, cannotWrite, unsupported, noPayload };

    static ConversionError cannotRead(QString what) { return {Kind::cannotRead, std::move(what)}; }
    static ConversionError cannotDecode(QString what) {
        return {Kind::cannotDecode, std::move(what)};
    }
    static ConversionError cannotWrite(QString what) {
        return {Kind::cannotWrite, std::move(what)};
    }
    static ConversionError unsupported(QString what) {
        return {Kind::unsupported, std::move(what)};
    }
    static ConversionError noPayload() { return {Kind::noPayload, QString()}; }

    // The same error with the underlying library's reason attached.
    ConversionError because(QString reason) && {
        m_reason = std::move(reason).trimmed();
        return std::move(*this);
    }

    Kind kind() const { return m_kind; }
    const QString& text() const { return m_text; }
    // What the library that failed said, when it said anything.
    const QString& reason() const { return m_reason; }
    // "cannotDecode(rich text)", "noPayload": for log lines and test output.
    QString description() const;
    // The description followed by the reason, for failure log lines.
    QString detail() const;
    const char* what() const noexcept override { return m_what.c_str(); }

    bool operator==(const ConversionError& other) const {
        return m_kind == other.m_kind && m_text == other.m_text;
    }

private:
    ConversionError(Kind kind, QString text);

    Kind m_kind;
    QString m_text;
    QString m_reason;
    std::string m_what;
};

} // namespace tarvo
