// The yardstick for Tarvo's resident memory: a bare Qt Widgets program with
// one window that exists but is not shown, idling in its event loop.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.winId();
    return QApplication::exec();
}
