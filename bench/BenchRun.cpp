#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QtGlobal>

namespace tarvo::bench {

int runBenchmarks(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

void defaultPlatform(const char* platform) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray(platform));
}

} // namespace tarvo::bench
