// The pictures of the window in the README: the files of a folder added as
// the command line adds them, the first row playing while another is
// selected, taken at the window's drawn size and at 800 x 600, and the list
// found by typing.
//   screenshots FOLDER OUT_DIR
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "UMain.h"
#include "app_errors.h"

namespace {

// Serves the event loop until `done` holds or `ms` pass.
void ServeUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || std::chrono::steady_clock::now() > deadline) loop.quit();
    });
    poll.start(20);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER OUT_DIR\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    const std::string out = argv[2];

    int qargc = 1;
    quillet::TQuilletApplication app(qargc, argv);
    quillet::SetMessageBoxHook([](quillet::TMessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    });
    quillet::TFrmQuillet form;
    form.show();
    QStringList dropped;
    for (const std::string& file : files) dropped << QString::fromStdString(file);
    form.WMDropFiles(dropped);
    ServeUntil([&] { return form.lbPlaylist->RowText(0).contains(" - "); }, 10000);
    form.SetItemIndex(0);
    form.sbPlay->click();
    form.SetItemIndex(3);
    ServeUntil([&] { return form.TimeText().startsWith("0:07"); }, 20000);

    bool saved = form.grab().save(QString::fromStdString(out + "/window.png"));
    form.resize(800, 600);
    ServeUntil([] { return false; }, 1500);
    saved = form.grab().save(QString::fromStdString(out + "/window-800x600.png")) && saved;
    // Typing in the list opens the find field and keeps the rows it names.
    for (const QChar c : QStringLiteral("harbour")) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.lbPlaylist;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QApplication::processEvents();
    }
    ServeUntil([] { return false; }, 500);
    saved = form.grab().save(QString::fromStdString(out + "/window-find.png")) && saved;
    form.close();
    return saved ? 0 : 1;
}
