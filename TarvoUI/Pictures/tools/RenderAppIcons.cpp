// Writes the application's icons at build time: the app tile at each size
// the desktop's icon themes hold, as "icon_SIZE.png" in the given folder.
#include "../IconRenderer.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const auto failure = tarvo::IconRenderer::writeAll(QString::fromLocal8Bit(argv[1]));
    if (failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure->description()));
        return 1;
    }
    return 0;
}
