// Opens a playlist into the player's window through the Open playlist command
// (the dialog answered with the file given), shown offscreen, and prints the
// first and the best of N runs in ms, wall and CPU: from the click to every
// entry in the list and the list laid out; and the GUI thread's longest
// stall over all runs, in ms (tests/support/gap_meter.h). ENTRIES is how
// many the file holds.
//   playlist_window FILE ENTRIES [RUNS]
#include <time.h>

#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UMain.h"
#include "app_errors.h"
#include "bench_dialogs.h"
#include "gap_meter.h"

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE ENTRIES [RUNS]\n", argv[0]);
        return 2;
    }
    const int entries = std::atoi(argv[2]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
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
    int64_t stall = 0;
    for (int i = 0; i < runs; ++i) {
        // Each run into a list that holds something else.
        form.PlaylistEntries().Clear();
        form.AppendEntry("other", "/other.mp3");
        QApplication::processEvents();
        quillet::test::GapMeter gaps;
        const double c0 = CpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        form.sbPlaylistOpen->click();
        // The rows may come in slices while the loop runs.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (form.Count() == entries ||
                std::chrono::steady_clock::now() - t0 > std::chrono::seconds(60))
                loop.quit();
        });
        poll.start(1);
        if (form.Count() != entries) loop.exec();
        form.lbPlaylist->doItemsLayout();
        QApplication::processEvents();
        const auto t1 = std::chrono::steady_clock::now();
        const double cpu = CpuMs() - c0;
        stall = std::max(stall, gaps.MaxGapMs());
        const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        if (i == 0) first = ms, firstCpu = cpu;
        if (ms < best) best = ms;
        if (cpu < bestCpu) bestCpu = cpu;
    }
    std::printf("%d %.1f %.1f %.1f %.1f %lld\n", form.lbPlaylist->model()->rowCount(), first, best,
                firstCpu, bestCpu, static_cast<long long>(stall));
    return form.lbPlaylist->model()->rowCount() == form.PlaylistEntries().Count() ? 0 : 1;
}
