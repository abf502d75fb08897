#include "TarvoCore/Log.h"

#include "support/RecordingLogSink.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tarvo;

TEST(Log, EveryAreaHasItsCategoryUnderTheSubsystem) {
    const std::vector<std::pair<const Logger*, const char*>> cases = {
        {&Log::core(), "core"},       {&Log::drag(), "drag"}, {&Log::convert(), "convert"},
        {&Log::deliver(), "deliver"}, {&Log::ui(), "ui"},     {&Log::updates(), "updates"},
    };
    for (const auto& [logger, name] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(logger->category(), QLatin1String(name));
        EXPECT_EQ(QByteArray(logger->qtCategory().categoryName()),
                  QByteArray("com.tarvoapp.Tarvo.") + name);
    }
    EXPECT_EQ(&Log::core(), &Log::core());
}

TEST(Log, SinkRecordsExactLinesFromAnyThread) {
    test::RecordingLogSink sink;
    Log::core().notice("dropping item X: its metadata is gone");
    std::thread([] { Log::drag().error("promise failed: gone"); }).join();
    EXPECT_EQ(sink.lines(),
              (std::vector<QString>{"core notice: dropping item X: its metadata is gone",
                                    "drag error: promise failed: gone"}));
}
