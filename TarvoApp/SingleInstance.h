#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace tarvo {

class InstanceSocket;

// One Tarvo per user and store: two processes over one store would overwrite
// each other's index. The first takes a lock on a file in the data folder
// and the session-bus name "com.tarvoapp.Tarvo", and listens on a socket
// beside the lock; a later one finds the lock held and asks the first to
// open its shelf, over the bus, else over the socket.
class SingleInstance final {
public:
    enum class Outcome {
        first,   // this process holds the lock
        another, // another process holds it
        failed,  // the lock file could not be made
    };

    static constexpr char serviceName[] = "com.tarvoapp.Tarvo";
    static constexpr char objectPath[] = "/com/tarvoapp/Tarvo";
    static constexpr char interfaceName[] = "com.tarvoapp.Tarvo";
    static constexpr char openMethod[] = "OpenShelf";

    // "tarvo.lock" in `folder`, which is made when missing.
    explicit SingleInstance(QString folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome acquire();
    // Why acquire() failed.
    const QString& error() const { return m_error; }
    QString lockPath() const;
    // The process noted in the lock file by its holder; empty when unknown.
    QString holder() const;
    // "tarvo.socket" beside the lock.
    QString socketPath() const;

    // Once the lock is held: listens on the socket and takes the bus name,
    // answering requests to open the shelf with `open`. False when there is
    // no session bus or the name is someone else's; the socket still answers
    // then, and the lock still keeps the store safe.
    bool publish(std::function<void()> open);

    // Asks the holder of the lock to open its shelf, over the bus, else over
    // the socket; false when no one answered.
    bool askToOpen() const;

private:
    class Object;
    QString m_folder;
    int m_fd = -1;
    QString m_error;
    std::unique_ptr<Object> m_object;
    std::unique_ptr<InstanceSocket> m_socket;
};

} // namespace tarvo
