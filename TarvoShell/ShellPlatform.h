#pragma once

#include <functional>
#include <memory>

namespace tarvo {

class Accessibility;
class AnimationClock;
class AppLauncher;
class ApplicationDirectory;
class Clipboard;
class Clock;
class DisplayOptions;
class DragSessions;
class DropPromises;
class EventMonitors;
class FileViewer;
class HotkeyGrabber;
class InputState;
class PanelWindowSystem;
class PasteKeys;
class Pasteboard;
class Screens;
class SoundOutput;
class WindowLister;
class Workspace;

// The window system's services the controller works through; the real ones
// on X11, fakes in tests. Nothing here is owned, and all must outlive the
// controller.
struct ShellPlatform {
    Clock& clock;
    // The pasteboard of other applications' drags, watched for new content.
    Pasteboard& dragPasteboard;
    EventMonitors& eventMonitors;
    InputState& input;
    WindowLister& windows;
    Workspace& workspace;
    Accessibility& accessibility;
    ApplicationDirectory& applications;
    DragSessions& dragSessions;
    Screens& screens;
    // Absent where the window system offers no shapes or states.
    PanelWindowSystem* panelWindowSystem = nullptr;
    // Makes where the landing sound plays; none: the shelf stays silent.
    std::function<std::unique_ptr<SoundOutput>()> makeSoundOutput;
    // The global shortcut; absent where the window system offers none.
    HotkeyGrabber* hotkeys = nullptr;
    // The desktop's accessibility display settings, read when they are used;
    // absent: none of them is on.
    DisplayOptions* displayOptions = nullptr;
    // What the shelf's animations run on; none: a frame clock of the view's own.
    AnimationClock* animationClock = nullptr;
    // The clipboard that copies and hand-offs write and pastes read; absent:
    // the desktop's own, through Qt.
    Clipboard* clipboard = nullptr;
    // Hand-offs to other applications: how they are brought forward or
    // started, and the typed paste. Without a launcher no hand-off is made.
    AppLauncher* launcher = nullptr;
    PasteKeys* pasteKeys = nullptr;
    // Files a drop's source promises to save where the shelf asks; absent
    // where the window system has no such protocol.
    DropPromises* dropPromises = nullptr;
    // Opening and showing files; absent: the desktop's own.
    FileViewer* fileViewer = nullptr;
};

} // namespace tarvo
