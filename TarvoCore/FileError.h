#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tarvo {

// A failed file operation: what was attempted, on which file, and the system's
// reason (errno). Its description names the file by its last path component.
class FileError final : public std::exception {
public:
    FileError(QString operation, QString path, int code);
    // With a reason of our own in place of the system's text for `code`.
    FileError(QString operation, QString path, int code, QString reason);

    const QString& operation() const { return m_operation; }
    const QString& path() const { return m_path; }
    int code() const { return m_code; }
    // "Is a directory"
    const QString& reason() const { return m_reason; }
    // "could not write “item.json”: Is a directory"
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_operation;
    QString m_path;
    int m_code;
    QString m_reason;
    QString m_description;
    std::string m_what;
};

} // namespace tarvo
