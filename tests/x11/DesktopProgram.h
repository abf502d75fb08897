#pragma once

// Installed desktop programs as the X11 suites drive them: started in a
// window of their own, placed where the test wants it, and given keys.
#include <gtest/gtest.h>

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

namespace tarvo::test {

// Runs a short command and gives what it printed.
QString runCommand(const QString& program, const QStringList& arguments, int ms = 20000);

// An installed program in a window of its own, placed where the test wants it;
// killed at the end.
class DesktopProgram final {
public:
    DesktopProgram();
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Starts the program and waits (seconds) for its window of `windowClass`,
    // then moves and sizes it to `where`; false when either did not happen.
    bool start(const QString& program, const QStringList& arguments, const QString& windowClass,
               QRect where);
    QPoint centre() const { return m_centre; }
    int top() const { return m_top; }
    int left() const { return m_left; }
    // The process, whose standard output is left to the test to read.
    QProcess& process() { return m_process; }
    // The window's title, as the window manager shows it.
    QString title() const;
    // Types keys into the window, focused first: "ctrl+s", "Return".
    void keys(const QStringList& keys);

private:
    QRect geometry();

    QProcess m_process;
    QString m_window;
    QPoint m_centre;
    int m_top = 0;
    int m_left = 0;
};

// Starts a suite's `Desktop` of programs once for every test of the run, in
// `desktop`, and stops it at the end; `desktop` stays null when its `start()`
// fails.
template <class Desktop> class DesktopEnvironment final : public ::testing::Environment {
public:
    explicit DesktopEnvironment(Desktop*& desktop) : m_desktop(desktop) {}

    void SetUp() override {
        auto started = std::make_unique<Desktop>();
        if (started->start())
            m_desktop = started.release();
    }
    void TearDown() override {
        delete m_desktop;
        m_desktop = nullptr;
    }

private:
    Desktop*& m_desktop;
};

} // namespace tarvo::test
