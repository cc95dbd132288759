// Types a filter into the window's list of 10 000 rows (accented: the slow
// fold), shown offscreen, as the user would: the first key opens the filter
// and reads every row once, later keys only compare. Prints the first key's
// wall and GUI-thread ms, the mean ms of each later key and the ms to clear
// the filter, each after the list was laid out and painted.
//   list_filter
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "UMain.h"
#include "app_errors.h"
#include "playlist_box.h"

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void Key(QWidget* to, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QApplication::sendEvent(to, &release);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    quillet::TQuilletApplication app(argc, argv);
    quillet::SetMessageBoxHook([](quillet::TMessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    });
    quillet::TFrmQuillet form;
    std::vector<quillet::TPlaylistEntry> entries(10000);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].Title = "Artíst " + std::to_string(i % 97) + " - Track " + std::to_string(i);
        entries[i].FilePath =
            "/nonexistent/album " + std::to_string(i / 12) + "/" + std::to_string(i) + ".flac";
    }
    form.PlaylistEntries().Append(std::move(entries));
    form.show();
    // The files' tags read first (none here): their rows change meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto unread = [&] {
        for (const quillet::TEntry& e : form.PlaylistEntries())
            if (e.Info.State == quillet::TEntryState::Unread) return true;
        return false;
    };
    while (unread() && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    auto* field = form.lbPlaylist->findChild<QLineEdit*>(QStringLiteral("edFilter"));
    if (field == nullptr || unread()) return 1;

    double cpu = 0;
    auto type = [&](QWidget* to, const char* keys) {
        QElapsedTimer timer;
        timer.start();
        const double start = CpuMs();
        for (const char* k = keys; *k; ++k)
            Key(to, *k == ' ' ? Qt::Key_Space : Qt::Key_A + (*k | 0x20) - 'a',
                QString(QLatin1Char(*k)));
        QApplication::processEvents();
        cpu = CpuMs() - start;
        return static_cast<double>(timer.elapsed()) / static_cast<double>(std::strlen(keys));
    };
    const double first = type(form.lbPlaylist, "t");
    const double firstCpu = cpu;
    const double perKey = type(field, "rack 12 artist 3");
    // "Track 123" shown, "Track 45" hidden: the filter took every key.
    const bool filtered =
        !form.lbPlaylist->isRowHidden(123, {}) && form.lbPlaylist->isRowHidden(45, {});
    QElapsedTimer timer;
    timer.start();
    Key(field, Qt::Key_Escape, {});
    QApplication::processEvents();
    std::printf("%.0f %.0f %.1f %lld\n", first, firstCpu, perKey,
                static_cast<long long>(timer.elapsed()));
    return filtered ? 0 : 1;
}
