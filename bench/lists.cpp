// The cost of several lists: a kept session of 10 lists of 10 000 entries
// against one of a single list of 100 000, the same 100 000 files in both.
//   lists make DIR     writes DIR/files/ (empty files), DIR/ten/ and DIR/one/
//                      (each a settings folder holding a kept session: every
//                      entry with its tags and length, as a session keeps them)
//   lists start CONFIG starts the window offscreen with the settings folder
//                      CONFIG and serves its loop until every list is back;
//                      prints the ms from the program's start to then, the
//                      resident KiB then, the lists and entries restored and
//                      the GUI thread's longest stall in ms (a restore is
//                      one job on the GUI thread, so this grows with the
//                      entries).
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "UMain.h"
#include "app_errors.h"
#include "desktop_session.h"
#include "gap_meter.h"
#include "list_session.h"
#include "simulated_device.h"

namespace {

using namespace quillet;
constexpr int kEntries = 100000;

int64_t ResidentKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
    return -1;
}

// A kept session in `config` (a settings folder) of `lists` lists sharing
// the files in order.
void Keep(const std::string& files, const std::string& config, int lists) {
    TPlaylistSet set("List 1");
    TPlaybackController player(set, std::make_shared<SimulatedSoundSystem>());
    const int each = kEntries / lists;
    for (int l = 0; l < lists; ++l) {
        if (l > 0) set.Add("List " + std::to_string(l + 1));
        std::vector<TPlaylistEntry> items;
        std::vector<std::string> rows;
        std::vector<TEntryInfo> infos;
        for (int i = l * each; i < (l + 1) * each; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%06d - Song number %d.mp3", i, i);
            const std::string artist = "Artist " + std::to_string(i % 977);
            const std::string title = "Song number " + std::to_string(i);
            items.push_back({artist + " - " + title, files + name});
            rows.push_back(items.back().Title);
            infos.push_back({TEntryState::Playable,
                             {},
                             {title, artist, "Album " + std::to_string(i % 31)},
                             (120 + i % 300) * kFlicksPerSecond,
                             false});
        }
        set.List(l).Append(std::move(items), std::move(rows), std::move(infos));
        SaveListFile(config + "quillet/", set, l);
    }
    SaveListsIndex(config + "quillet/", set, player);
}

int Make(const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string files = dir + "/files/";
    fs::create_directories(files);
    for (int i = 0; i < kEntries; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%06d - Song number %d.mp3", i, i);
        std::ofstream(files + name);
    }
    Keep(files, dir + "/ten/", 10);
    Keep(files, dir + "/one/", 1);
    return 0;
}

int Start(const std::chrono::steady_clock::time_point t0, const std::string& config, int argc,
          char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    TQuilletApplication app(argc, argv);
    SetMessageBoxHook([](TMessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    });
    TFrmQuillet form;
    TDesktopSession session(form.Player(), form, {true, {}}, config + "quillet/", {});
    form.show();
    session.StartWhenShown();
    quillet::test::GapMeter gaps;
    auto entries = [&] {
        int n = 0;
        for (int i = 0; i < form.Lists.Count(); ++i) n += form.Lists.List(i).Count();
        return n;
    };
    QEventLoop loop;
    QTimer poll;
    const auto deadline = t0 + std::chrono::seconds(120);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if ((session.Restored() && entries() == kEntries) ||
            std::chrono::steady_clock::now() > deadline)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    form.lbPlaylist->doItemsLayout();
    QApplication::processEvents();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.0f %lld %d %d %lld\n", ms, static_cast<long long>(ResidentKib()),
                form.Lists.Count(), entries(), static_cast<long long>(gaps.MaxGapMs()));
    return entries() == kEntries ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto t0 = std::chrono::steady_clock::now();
    if (argc == 3 && std::string(argv[1]) == "make") return Make(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "start") {
        int qargc = 1;
        return Start(t0, std::string(argv[2]) + "/", qargc, argv);
    }
    std::fprintf(stderr, "usage: %s make DIR | start CONFIG\n", argv[0]);
    return 2;
}
