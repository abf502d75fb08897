#include "TarvoPlatform/x11/AtSpiAccessibility.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tarvo;

namespace {

// A session bus that takes connections and never says a word, as a stopped
// daemon does: the kernel accepts for it, nothing answers.
class SilentBus final {
public:
    explicit SilentBus(const QString& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::copy_n(name.constData(),
                    std::min<std::size_t>(name.size(), sizeof address.sun_path - 1),
                    address.sun_path);
        m_ok = m_fd >= 0 &&
               ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               ::listen(m_fd, 16) == 0;
        m_previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + name);
    }
    ~SilentBus() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_previous);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
    QByteArray m_previous;
};

// The query's own deadline is long here: only the caller's wait and a worker
// that nobody waits for keep the lookups and the exit quick.
TEST(AtSpiStuckBus, NeverHoldsALookupBeyondTheAnswerWaitNorTheExit) {
    test::TempDir dir;
    SilentBus bus(dir.file("bus"));
    ASSERT_TRUE(bus.ok());

    AtSpiAccessibility::Timing timing;
    timing.queryDeadline = std::chrono::milliseconds(20000);
    timing.answerWait = std::chrono::milliseconds(40);
    auto accessibility = std::make_unique<AtSpiAccessibility>(timing);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(accessibility->isTrusted());
    EXPECT_EQ(accessibility->roleAt(Point{10, 10}, 4242), std::nullopt);
    EXPECT_EQ(accessibility->roleAt(Point{20, 20}, 4242), std::nullopt);
    // Generous against a loaded machine, far below the stuck query's 20 s.
    EXPECT_LT(elapsed.elapsed(), 5000);

    elapsed.restart();
    accessibility.reset();
    EXPECT_LT(elapsed.elapsed(), 5000);
}

// A connection that cannot be made is given up at the query's deadline:
// the next query after it runs again instead of finding the worker busy.
TEST(AtSpiStuckBus, GivesUpTheConnectionAtTheQueryDeadline) {
    test::TempDir dir;
    SilentBus bus(dir.file("bus"));
    ASSERT_TRUE(bus.ok());

    AtSpiAccessibility::Timing timing;
    timing.queryDeadline = std::chrono::milliseconds(100);
    timing.answerWait = std::chrono::milliseconds(3000);
    AtSpiAccessibility accessibility(timing);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(accessibility.isTrusted());
    EXPECT_LT(elapsed.elapsed(), 2500) << "answered by the deadline, not by the caller's wait";
}

} // namespace
