#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo {

class FilePromiseProvider;

// Names and writes the file that a promise stands for, once a destination
// has accepted it.
class FilePromiseProviderDelegate {
public:
    // No error, or why the file could not be written.
    using Completion = std::function<void(const std::optional<QString>& error)>;

    virtual ~FilePromiseProviderDelegate() = default;
    // The name the destination is offered for the promised file.
    virtual QString fileName(FilePromiseProvider& provider, const QString& fileType) = 0;
    // Writes the promised file at `path` and calls `completion` exactly once,
    // on the main thread. Called on the main thread; may return at once.
    virtual void writePromise(FilePromiseProvider& provider, const QString& path,
                              Completion completion) = 0;
};

// A file promise on an outgoing pasteboard: the file exists only once a
// destination says where it wants it. On this desktop the one kind of
// promise is the direct-save protocol. Always held through a shared pointer.
class FilePromiseProvider final : public std::enable_shared_from_this<FilePromiseProvider> {
public:
    FilePromiseProvider(QString fileType, FilePromiseProviderDelegate* delegate)
        : m_fileType(std::move(fileType)), m_delegate(delegate) {}
    FilePromiseProvider(const FilePromiseProvider&) = delete;
    FilePromiseProvider& operator=(const FilePromiseProvider&) = delete;

    // The content type of the promised file.
    const QString& fileType() const { return m_fileType; }
    FilePromiseProviderDelegate* delegate() const { return m_delegate; }
    // For an owner that goes away before the pasteboard does.
    void detachDelegate() { m_delegate = nullptr; }

    const std::optional<QString>& userInfo() const { return m_userInfo; }
    void setUserInfo(std::optional<QString> info) { m_userInfo = std::move(info); }

    // The pasteboard types the promise puts on a pasteboard, in order.
    QStringList writableTypes() const;

    // The delegate's name for the file; "File" without a delegate.
    QString fileName();
    // Asks the delegate to write the file; without one the completion gets
    // an error at once.
    void writePromise(const QString& path, FilePromiseProviderDelegate::Completion completion);

private:
    QString m_fileType;
    FilePromiseProviderDelegate* m_delegate;
    std::optional<QString> m_userInfo;
};

} // namespace tarvo
