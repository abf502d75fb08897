#include "ConvertPrinters.h"
#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ConversionError.h"

#include "TarvoCore/FileError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>

using namespace tarvo;

namespace {

// Conversions that run until the test lets each one go, recording when they
// start and how many run at once. Request `index` names the conversion.
class HeldConversions {
public:
    ConversionEngine::Performer performer() {
        return [this](const ConversionRequest& request) {
            std::unique_lock lock(m_mutex);
            m_started.push_back(request.index);
            ++m_running;
            m_mostRunning = std::max(m_mostRunning, m_running);
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_released.contains(request.index); });
            --m_running;
            if (m_failing.contains(request.index))
                throw ConversionError::cannotRead(QString::number(request.index));
            return ConversionResult::text(QString::number(request.index));
        };
    }

    void fail(int index) {
        const std::lock_guard lock(m_mutex);
        m_failing.insert(index);
    }
    void release(int index) {
        const std::lock_guard lock(m_mutex);
        m_released.insert(index);
        m_changed.notify_all();
    }
    // Waits until `count` conversions have started, and answers them in order.
    std::vector<int> awaitStarted(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_started.size() >= count; });
        return m_started;
    }
    size_t startedCount() {
        const std::lock_guard lock(m_mutex);
        return m_started.size();
    }
    int mostRunning() {
        const std::lock_guard lock(m_mutex);
        return m_mostRunning;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_started;
    std::set<int> m_released;
    std::set<int> m_failing;
    int m_running = 0;
    int m_mostRunning = 0;
};

ConversionRequest numbered(int index) {
    ConversionRequest r;
    r.item.id = QUuid::createUuid();
    r.item.payload = ItemPayload::text("t");
    r.index = index;
    return r;
}

} // namespace

TEST(ConversionGate, FiveRequestsAtALimitOfTwoRunTwoAtATimeInArrivalOrder) {
    HeldConversions held;
    ConversionEngine engine(2, held.performer());
    std::vector<QFuture<ConversionResult>> futures;
    for (int i = 0; i < 5; ++i)
        futures.push_back(engine.convert(numbered(i)));

    std::vector<int> started = held.awaitStarted(2);
    EXPECT_EQ(std::set<int>(started.begin(), started.end()), std::set<int>({0, 1}));
    EXPECT_EQ(held.startedCount(), 2u) << "the others wait";

    // Each finished conversion hands its slot to the oldest waiter.
    held.release(1);
    futures[1].waitForFinished();
    EXPECT_EQ(held.awaitStarted(3)[2], 2);
    held.release(0);
    EXPECT_EQ(held.awaitStarted(4)[3], 3);
    held.release(3);
    EXPECT_EQ(held.awaitStarted(5)[4], 4);
    held.release(2);
    held.release(4);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(futures[i].result(), ConversionResult::text(QString::number(i)));

    EXPECT_EQ(held.mostRunning(), 2);
    EXPECT_EQ(engine.peakConcurrency(), 2);
}

// Decoded pixels in flight stay within the budget whatever the limit allows:
// two large conversions do not run together, a small one joins a large one,
// and one larger than the whole budget runs alone. Arrival order holds.
TEST(ConversionGate, WeighsConversionsByTheirDecodedPixels) {
    constexpr qint64 MiB = qint64{1} << 20;
    const std::vector<qint64> weights{300 * MiB, 300 * MiB, 0, 1024 * MiB, 0};
    HeldConversions held;
    ConversionEngine engine(4, held.performer(), [&](const ConversionRequest& request) {
        return weights.at(static_cast<size_t>(request.index));
    });
    std::vector<QFuture<ConversionResult>> futures;
    for (int i = 0; i < 5; ++i)
        futures.push_back(engine.convert(numbered(i)));

    held.awaitStarted(1);
    EXPECT_EQ(held.startedCount(), 1u) << "300 MiB more would pass the budget";
    held.release(0);
    // The two that fit together start together, in either order.
    const std::vector<int> three = held.awaitStarted(3);
    EXPECT_EQ(std::set<int>(three.begin(), three.end()), std::set<int>({0, 1, 2}));
    EXPECT_EQ(held.startedCount(), 3u) << "the largest waits for the others";
    held.release(1);
    held.release(2);
    EXPECT_EQ(held.awaitStarted(4)[3], 3);
    EXPECT_EQ(held.startedCount(), 4u) << "nothing joins a conversion over the budget";
    held.release(3);
    EXPECT_EQ(held.awaitStarted(5)[4], 4);
    held.release(4);
    for (auto& future : futures)
        future.waitForFinished();
    EXPECT_EQ(held.mostRunning(), 2);
    EXPECT_EQ(engine.peakWeight(), 1024 * MiB);
}

TEST(ConversionGate, ALimitBelowOneAdmitsOneAtATime) {
    for (const int limit : {0, -3}) {
        SCOPED_TRACE(limit);
        HeldConversions held;
        ConversionEngine engine(limit, held.performer());
        std::vector<QFuture<ConversionResult>> futures;
        for (int i = 0; i < 3; ++i)
            futures.push_back(engine.convert(numbered(i)));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(held.awaitStarted(static_cast<size_t>(i) + 1).back(), i);
            EXPECT_EQ(held.startedCount(), static_cast<size_t>(i) + 1);
            held.release(i);
        }
        for (auto& future : futures)
            future.waitForFinished();
        EXPECT_EQ(held.mostRunning(), 1);
        EXPECT_EQ(engine.peakConcurrency(), 1);
    }
}

TEST(ConversionGate, AFailingConversionFreesItsSlotAndKeepsItsError) {
    HeldConversions held;
    ConversionEngine engine(1, held.performer());
    held.fail(0);
    QFuture<ConversionResult> failing = engine.convert(numbered(0));
    QFuture<ConversionResult> next = engine.convert(numbered(1));
    held.awaitStarted(1);
    held.release(0);
    EXPECT_EQ(held.awaitStarted(2)[1], 1) << "the waiter got the slot";
    try {
        failing.result();
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error, ConversionError::cannotRead("0"));
    }
    held.release(1);
    EXPECT_EQ(next.result(), ConversionResult::text("1"));
}

TEST(ConversionGate, RealConversionsPassResultsAndErrorsThrough) {
    test::TempDir dir;
    ConversionEngine engine(ConversionEngine::activeProcessorCount());
    ConversionRequest text = numbered(0);
    text.delivery = Delivery::path();
    EXPECT_EQ(engine.convert(text).result(), ConversionResult::text("t"));

    ConversionRequest missing;
    missing.item.id = QUuid::createUuid();
    missing.item.payload = ItemPayload::file("gone.txt");
    missing.containerRoot = dir.path();
    missing.delivery = Delivery::plainText();
    QFuture<ConversionResult> failed = engine.convert(missing);
    EXPECT_THROW(failed.result(), FileError) << "a file error passes through unchanged";
    EXPECT_GE(ConversionEngine::activeProcessorCount(), 1);
}
