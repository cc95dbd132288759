// Opens a playlist into the player's window through the Open playlist command
// (the dialog answered with the file given), shown offscreen, and prints the
// first and the best of N runs in ms, wall and CPU: from the click to the
// list laid out.
//   playlist_window FILE [RUNS]
#include <time.h>

#include <QListWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UMain.h"
#include "app_errors.h"
#include "bench_dialogs.h"

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int qargc = 1;
    quillet::TQuilletApplication app(qargc, argv);
    // No modal boxes here ("lang.cfg" may be missing where this runs).
    quillet::SetMessageBoxHook([](quillet::TMessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    });
    quillet::TFrmQuillet form;
    form.SetDialogs(std::make_unique<TBenchDialogs>(argv[1], ""));
    form.show();
    QApplication::processEvents();

    double first = 0, best = 1e9, firstCpu = 0, bestCpu = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double c0 = CpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        form.sbPlaylistOpen->click();
        form.lbPlaylist->doItemsLayout();
        QApplication::processEvents();
        const auto t1 = std::chrono::steady_clock::now();
        const double cpu = CpuMs() - c0;
        const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        if (i == 0) first = ms, firstCpu = cpu;
        if (ms < best) best = ms;
        if (cpu < bestCpu) bestCpu = cpu;
    }
    // The first run opens into an empty list; later ones replace a full one.
    std::printf("%d %.1f %.1f %.1f %.1f\n", form.lbPlaylist->model()->rowCount(), first, best,
                firstCpu, bestCpu);
    return form.lbPlaylist->model()->rowCount() == form.PlaylistEntries().Count() ? 0 : 1;
}
