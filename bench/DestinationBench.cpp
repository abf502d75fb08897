// Resolving the application under the pointer against 40 windows: a fresh
// resolution (window list, walk, application lookup) and one answered from
// the resolver's cache. In memory always; on the X server too when $DISPLAY
// names one (run it under Xvfb for figures that include the round trips).
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11Reply.h"
#include "TarvoPlatform/x11/X11WindowList.h"
#include "TarvoPlatform/x11/X11Workspace.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <xcb/xcb.h>

using namespace tarvo;

namespace {

constexpr int windowCount = 40;
const Date start = Date::fromSecondsSince1970(1700000000);

// 40 windows front to back; only the last, at the back, lies under the point.
std::vector<WindowInfo> fortyWindows() {
    std::vector<WindowInfo> windows;
    for (int i = 0; i < windowCount - 1; ++i)
        windows.push_back(WindowInfo{1000 + i, Rect{double(i * 10), 0, 5, 5}, 0, 0});
    windows.push_back(WindowInfo{2000, Rect{0, 100, 800, 600}, 0, 0});
    return windows;
}

struct MemorySetup {
    MemorySetup() {
        windows.setWindows(fortyWindows());
        for (int i = 0; i < windowCount - 1; ++i)
            workspace.addProcess(1000 + i, QStringLiteral("org.example.App%1").arg(i));
        workspace.addProcess(2000, QStringLiteral("org.gnome.TextEditor"));
    }
    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
};

void BM_FreshResolutionInMemory(benchmark::State& state) {
    MemorySetup setup;
    DestinationResolver resolver(setup.windows, AppCategoryMap{}, DestinationResolver::throttle,
                                 setup.workspace, setup.accessibility);
    for (auto _ : state) {
        resolver.invalidate();
        benchmark::DoNotOptimize(resolver.resolve({400, 400}, start));
    }
}
BENCHMARK(BM_FreshResolutionInMemory);

void BM_CachedResolutionInMemory(benchmark::State& state) {
    MemorySetup setup;
    DestinationResolver resolver(setup.windows, AppCategoryMap{}, DestinationResolver::throttle,
                                 setup.workspace, setup.accessibility);
    resolver.resolve({400, 400}, start);
    for (auto _ : state)
        benchmark::DoNotOptimize(resolver.resolve({402, 401}, start.addingSeconds(0.01)));
}
BENCHMARK(BM_CachedResolutionInMemory);

// 40 mapped windows of another client, each naming process 1 and a class.
struct X11Setup {
    X11Setup() {
        client = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(client))
            return;
        connection = X11Connection::open();
        if (!connection)
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(client)).data;
        const xcb_atom_t pidAtom = connection->atom("_NET_WM_PID");
        const uint32_t pid = 1;
        const char wmClass[] = "bench\0Bench";
        // Created first, so that it lies at the back, under 39 small ones.
        for (int i = 0; i < windowCount; ++i) {
            const xcb_window_t w = xcb_generate_id(client);
            const bool back = i == 0;
            xcb_create_window(client, XCB_COPY_FROM_PARENT, w, screen->root,
                              int16_t(back ? 0 : i * 10), int16_t(back ? 100 : 0),
                              uint16_t(back ? 800 : 5), uint16_t(back ? 600 : 5), 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            xcb_change_property(client, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1,
                                &pid);
            xcb_change_property(client, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
            xcb_map_window(client, w);
        }
        ownReply(xcb_get_input_focus_reply(client, xcb_get_input_focus(client), nullptr));
    }
    ~X11Setup() {
        connection.reset();
        if (client)
            xcb_disconnect(client);
    }
    bool ready() const { return client && !xcb_connection_has_error(client) && connection; }

    xcb_connection_t* client = nullptr;
    std::unique_ptr<X11Connection> connection;
};

// Made once: the windows stay for every run of the X11 benchmarks.
X11Setup& x11() {
    static X11Setup setup;
    return setup;
}

// The real window list and properties over the benchmark's connection.
struct X11Resolver {
    explicit X11Resolver(X11Connection& connection)
        : applications(QStringList{}), lister(connection), workspace(connection, applications),
          resolver(lister, AppCategoryMap{}, DestinationResolver::throttle, workspace,
                   accessibility) {
        resolver.resolve({400, 400}, start);
    }
    ApplicationDirectory applications;
    X11WindowList lister;
    X11Workspace workspace;
    MemoryAccessibility accessibility;
    DestinationResolver resolver;
};

void BM_FreshResolutionOnX11(benchmark::State& state) {
    X11Setup& setup = x11();
    if (!setup.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    X11Resolver x(*setup.connection);
    for (auto _ : state) {
        x.resolver.invalidate();
        benchmark::DoNotOptimize(x.resolver.resolve({400, 400}, start));
    }
    state.counters["windows"] = double(x.lister.windowsOnScreen().size());
}
BENCHMARK(BM_FreshResolutionOnX11)->Unit(benchmark::kMicrosecond);

void BM_CachedResolutionOnX11(benchmark::State& state) {
    X11Setup& setup = x11();
    if (!setup.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    X11Resolver x(*setup.connection);
    for (auto _ : state)
        benchmark::DoNotOptimize(x.resolver.resolve({402, 401}, start.addingSeconds(0.01)));
}
BENCHMARK(BM_CachedResolutionOnX11);

// One request answered by the server: the unit the fresh resolution is
// measured in.
void BM_RoundTripOnX11(benchmark::State& state) {
    X11Setup& setup = x11();
    if (!setup.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    xcb_connection_t* c = setup.connection->get();
    for (auto _ : state)
        ownReply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}
BENCHMARK(BM_RoundTripOnX11)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // The X11 connection looks for Qt's own connection only when there is one.
    QCoreApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
