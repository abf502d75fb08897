#pragma once

namespace tarvo::bench {

// Runs the benchmarks that the command line asks for; 1 for an argument that
// is no benchmark option. Called by each benchmark program's main once its Qt
// application exists.
int runBenchmarks(int& argc, char** argv);

// Gives Qt `platform` unless the environment names one already.
void defaultPlatform(const char* platform);

} // namespace tarvo::bench
