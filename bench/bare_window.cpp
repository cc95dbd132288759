// The reference for bench/startup.sh: a bare Qt 6 window (a QWidget of the
// player's size with a title), shown as soon as the application object is
// made. What a Qt program cannot start faster than.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("qtbench"));
    window.resize(420, 300);
    window.show();
    return app.exec();
}
