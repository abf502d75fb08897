// The main of the benchmark programs that need only a Qt core application.
#include "BenchRun.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tarvo::bench::runBenchmarks(argc, argv);
}
