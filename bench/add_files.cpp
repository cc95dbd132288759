// Adds every file of a folder to the player's window as a start with files
// does, or with "folder" as the list's "Add folder..." does, shown
// offscreen, and serves the event loop until each row has been read (its
// title from the tags, or marked failed). Measures the GUI thread's longest
// stall the way the stress tests do (tests/support/gap_meter.h). Prints,
// over RUNS runs into an emptied list: the number of files, how many rows
// were read in the last run, the worst and the median longest stall in ms,
// and the median time until every row was read in ms.
//   add_files DIR [RUNS] [folder]
#include <QApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "UMain.h"
#include "app_errors.h"
#include "bench_dialogs.h"
#include "gap_meter.h"
#include "play_mode_menu.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool asFolder = argc > 3 && std::string(argv[3]) == "folder";
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file()) paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());

    int qargc = 1;
    quillet::TQuilletApplication app(qargc, argv);
    quillet::SetMessageBoxHook([](quillet::TMessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    });
    quillet::TFrmQuillet form;
    form.SetDialogs(std::make_unique<TBenchDialogs>("", argv[1]));
    QAction* addFolder = nullptr;
    for (QAction* action : form.pmPlayModes->actions())
        if (action->text() == QStringLiteral("Add folder...")) addFolder = action;
    form.show();
    QApplication::processEvents();

    auto retitled = [&] {
        int n = 0;
        for (int i = 0; i < form.PlaylistEntries().Count(); ++i) {
            const quillet::TEntry& entry = form.PlaylistEntries()[static_cast<size_t>(i)];
            if (entry.Info.State != quillet::TEntryState::Unread) ++n;
        }
        return n;
    };
    std::vector<double> stalls, titled;
    int lastTitled = 0;
    for (int run = 0; run < runs; ++run) {
        form.sbNewPlaylist->click();
        QApplication::processEvents();
        const auto t0 = std::chrono::steady_clock::now();
        const auto deadline = t0 + std::chrono::seconds(60);
        quillet::test::GapMeter gaps;
        if (asFolder && addFolder != nullptr) {
            addFolder->trigger();
        } else {
            // As a start with files appends them.
            std::vector<quillet::TPlaylistEntry> entries(paths.size());
            for (size_t i = 0; i < paths.size(); ++i) {
                entries[i].FilePath = paths[i];
                entries[i].Title = paths[i].substr(paths[i].rfind('/') + 1);
            }
            form.PlaylistEntries().Append(std::move(entries));
        }
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            lastTitled = retitled();
            if (lastTitled == static_cast<int>(paths.size()) ||
                std::chrono::steady_clock::now() > deadline)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
        titled.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        stalls.push_back(static_cast<double>(gaps.MaxGapMs()));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%zu %d %.0f %.0f %.0f\n", paths.size(), lastTitled,
                *std::max_element(stalls.begin(), stalls.end()), median(stalls), median(titled));
    return lastTitled == static_cast<int>(paths.size()) ? 0 : 1;
}
