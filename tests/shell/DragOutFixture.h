#pragma once

#include "ShellFixture.h"

#include "TarvoCore/L10n.h"
#include "TarvoDrag/DragSource.h"
#include "CursorBadge.h"
#include "DestinationRow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "support/ItemFactory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tarvo::test {

// A controller on the memory platform with a few installed applications: a
// text editor, a terminal, a browser and a file manager, each with its
// desktop file, and an editor window on the left half of the screen.
class DragOutTest : public ::testing::Test {
protected:
    static inline const QString editorID = QStringLiteral("org.xfce.mousepad");
    static inline const QString terminalID = QStringLiteral("xterm");
    static inline const QString browserID = QStringLiteral("firefox-esr");
    static inline const QString fileManagerID = QStringLiteral("thunar");
    static constexpr qint32 editorPID = 300;
    // Screen points, y upwards, on the 1280 x 800 screen.
    static constexpr QPointF overEditor{300, 200};
    static constexpr QPointF overNothing{1000, 200};

    DragOutTest()
        : m_defaults(m_dir.file("Tarvo.conf")), m_preferences(m_defaults),
          m_shell(QStringList{installApplications()}) {
        // The folders a first start offers.
        QDir().mkpath(m_dir.file("home/Downloads"));
        QDir().mkpath(m_dir.file("home/Desktop"));
        m_shell.applications.refreshAndWait();
        m_shell.windows.setWindows({WindowInfo{editorPID, Rect{0, 300, 640, 500}, 0, 7}});
        m_shell.workspace.addProcess(editorPID, editorID);
        // Activating a running application makes it the active one.
        m_shell.launcher.onActivate = [this](const QString& id) {
            m_shell.workspace.setFrontmost(Workspace::Application{1, id});
        };
    }

    QString installApplications() {
        const QString folder = m_dir.file("applications");
        QDir().mkpath(folder);
        const auto write = [&folder](const QString& id, const char* name, const char* categories) {
            QFile file(folder + QLatin1Char('/') + id + QStringLiteral(".desktop"));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("[Desktop Entry]\nType=Application\nName=") + name +
                       "\nExec=true\nCategories=" + categories + "\n");
        };
        write(editorID, "Mousepad", "Utility;TextEditor;");
        write(terminalID, "XTerm", "System;TerminalEmulator;");
        write(browserID, "Firefox ESR", "Network;WebBrowser;");
        write(fileManagerID, "Thunar", "System;FileManager;");
        return folder;
    }

    std::unique_ptr<TarvoController> makeController() {
        auto controller = std::make_unique<TarvoController>(
            std::make_unique<ItemStore>(m_dir.file("Tarvo/Items")),
            std::make_unique<RulesStore>(m_dir.file("Tarvo")), m_preferences, m_dir.file("work"),
            m_shell.platform());
        controller->start();
        return controller;
    }

    Item fileItem(TarvoController& controller, const QString& name, const QByteArray& bytes) {
        return addFileItem(controller.store(), name, bytes, false, m_shell.clock.now());
    }
    Item textItem(TarvoController& controller, const QString& text) {
        return addTextItem(controller.store(), text, m_shell.clock.now());
    }
    QString stored(TarvoController& controller, const Item& item) {
        return *item.payloadURL(controller.store().root());
    }

    // A folder of the temporary directory, made and noted as used.
    QString recentFolder(TarvoController& controller, const QString& name, double at) {
        const QString folder = m_dir.file(name);
        QDir().mkpath(folder);
        controller.destinations()->noteFolder(folder, Date::fromSecondsSince1970(at));
        return folder;
    }

    // Opens the shelf and starts dragging `items` out of it.
    MemoryDragSession* beginDrag(TarvoController& controller, const std::vector<QUuid>& items) {
        if (controller.state() == TarvoState::hidden)
            controller.openTarvo();
        controller.tarvoView(controller.view(), items, QPointF(10, 10));
        return m_shell.drags.current();
    }

    // The middle of the chip at `index` of the row on show, in screen points.
    QPointF chipPoint(TarvoController& controller, std::size_t index) {
        const TarvoView& view = controller.view();
        const Rect row = view.destinationRowLayer().frame();
        const Rect chip = controller.destinationRow().chipFrames().at(index);
        const Rect& panel = controller.panel().frame();
        return {panel.x + row.x + chip.midX(), panel.y + row.y + chip.midY()};
    }

    static void waitUntil(const std::function<bool()>& done, int ms = 20000) {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir m_dir;
    // A home folder of the test's own, with Downloads and Desktop folders.
    ScopedEnvironment m_home{"HOME", QFile::encodeName(m_dir.file("home"))};
    ScopedEnvironment m_config{"XDG_CONFIG_HOME", QFile::encodeName(m_dir.file("config"))};
    UserDefaults m_defaults;
    Preferences m_preferences;
    MemoryShell m_shell;
};

} // namespace tarvo::test
