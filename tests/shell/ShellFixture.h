#pragma once

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryAppLauncher.h"
#include "TarvoPlatform/memory/MemoryClipboard.h"
#include "TarvoPlatform/memory/MemoryDisplayOptions.h"
#include "TarvoPlatform/memory/MemoryDragSession.h"
#include "TarvoPlatform/memory/MemoryEventMonitors.h"
#include "TarvoPlatform/memory/MemoryFileViewer.h"
#include "TarvoPlatform/memory/MemoryHotkeyGrabber.h"
#include "TarvoPlatform/memory/MemoryInputState.h"
#include "TarvoPlatform/memory/MemoryPanelWindowSystem.h"
#include "TarvoPlatform/memory/MemoryPasteKeys.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"
#include "TarvoPlatform/memory/MemoryScreens.h"
#include "TarvoPlatform/memory/MemorySoundOutput.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"
#include "TarvoShell/ShellPlatform.h"
#include "TarvoShell/TarvoController.h"
#include "ScheduledFrameClock.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <QFile>

#include <memory>

namespace tarvo::test {

// Every platform service in memory, on a fake clock, with one 1280 x 800
// screen under the pointer.
struct MemoryShell {
    // `applicationFolders`: where the installed applications' desktop files are.
    explicit MemoryShell(QStringList applicationFolders = {})
        : applications(std::move(applicationFolders)) {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        screens.screens.push_back(screen);
    }

    ShellPlatform platform() {
        ShellPlatform platform{clock,
                               dragPasteboard,
                               monitors,
                               input,
                               windows,
                               workspace,
                               accessibility,
                               applications,
                               drags,
                               screens,
                               &windowSystem,
                               [this] {
                                   auto output = std::make_unique<MemorySoundOutput>();
                                   sound = output.get();
                                   return output;
                               },
                               &hotkeys};
        platform.animationClock = &animationClock;
        platform.displayOptions = &display;
        platform.clipboard = realClipboard ? realClipboard : &clipboard;
        platform.launcher = &launcher;
        platform.pasteKeys = &pasteKeys;
        platform.fileViewer = &fileViewer;
        return platform;
    }

    FakeClock clock;
    // The shelf's animations move with the fake clock.
    ScheduledFrameClock animationClock{clock};
    MemoryPasteboard dragPasteboard;
    MemoryEventMonitors monitors;
    MemoryInputState input;
    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
    ApplicationDirectory applications;
    MemoryDragSessions drags;
    MemoryScreens screens;
    MemoryDisplayOptions display;
    MemoryHotkeyGrabber hotkeys;
    MemoryPanelWindowSystem windowSystem;
    MemoryClipboard clipboard;
    // When set, the clipboard in place of the memory one: Qt's, which the
    // offscreen platform keeps in the process.
    Clipboard* realClipboard = nullptr;
    MemoryAppLauncher launcher;
    MemoryPasteKeys pasteKeys;
    MemoryFileViewer fileViewer;
    // The last sound output made, owned by its player.
    MemorySoundOutput* sound = nullptr;
};

// A controller over a store in a temporary folder, with a home folder of its
// own there ("home", empty), so the user's own folders play no part.
class ControllerFixture {
protected:
    ControllerFixture() : m_defaults(m_dir.file("Tarvo.conf")), m_preferences(m_defaults) {}

    std::unique_ptr<TarvoController> makeController() {
        return std::make_unique<TarvoController>(
            std::make_unique<ItemStore>(m_dir.file("Tarvo/Items")),
            std::make_unique<RulesStore>(m_dir.file("Tarvo")), m_preferences, m_dir.file("work"),
            m_shell.platform());
    }

    TempDir m_dir;
    ScopedEnvironment m_home{"HOME", QFile::encodeName(m_dir.file("home"))};
    ScopedEnvironment m_config{"XDG_CONFIG_HOME", QFile::encodeName(m_dir.file("config"))};
    UserDefaults m_defaults;
    Preferences m_preferences;
    MemoryShell m_shell;
};

} // namespace tarvo::test
