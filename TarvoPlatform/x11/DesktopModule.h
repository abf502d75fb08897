#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>

#include <optional>

namespace tarvo {

class Accessibility;

// What the desktop module hands the program: everything that speaks to the
// desktop through GIO (GNOME's settings, applications started from their
// desktop files, AT-SPI over GDBus). The program loads it the first time one
// of these is needed, so that a shelf at rest maps none of GIO's libraries.
struct DesktopModule {
    // Raised whenever a function below changes shape, so that a module left
    // from another build is refused rather than called.
    static constexpr int currentVersion = 1;
    static constexpr const char* fileName = "tarvo-desktop.so";
    static constexpr const char* entryName = "tarvo_desktop_module";

    enum class Launch { started, unreadable, failed };

    int version;
    // One GNOME setting; none when its schema or key is not installed or it
    // holds another type.
    std::optional<bool> (*gnomeBoolean)(const char* schemaId, const char* key);
    std::optional<QByteArray> (*gnomeString)(const char* schemaId, const char* key);
    // Starts the application of `desktopFile` with `uris`, handed over the way
    // the desktop file says; `reason` says why it could not.
    Launch (*launch)(const QByteArray& desktopFile, const QList<QByteArray>& uris, QString& reason);
    // The AT-SPI client, with its default timing, and where the main screen
    // lies for it (see AtSpiAccessibility).
    Accessibility* (*makeAccessibility)();
    void (*setScreenGeometry)(Accessibility& accessibility, QPoint primaryOrigin,
                              double devicePixelRatio);
};

// The module, loaded at the first call from any thread; nullptr when it is
// missing or from another build (logged, and not looked for again).
const DesktopModule* desktopModule();

} // namespace tarvo
