#include "stress_window.h"

#include <dirent.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "text.h"

namespace quillet::test {

Watchdog::Watchdog(int limitSeconds) : FLimit(limitSeconds) {
    FThread = std::thread([this] {
        std::unique_lock<std::mutex> g(FLock);
        for (;;) {
            const uint64_t seen = FKicks;
            if (FWake.wait_for(g, std::chrono::seconds(FLimit),
                               [&] { return FStop || FKicks != seen; })) {
                if (FStop) return;
                continue;
            }
            std::fprintf(stderr, "watchdog: no progress for %d s while: %s\n", FLimit,
                         FDoing.c_str());
            std::fflush(stderr);
            std::abort();
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> g(FLock);
        FStop = true;
    }
    FWake.notify_all();
    FThread.join();
}

void Watchdog::Kick(std::string doing) {
    {
        std::lock_guard<std::mutex> g(FLock);
        FDoing = std::move(doing);
        ++FKicks;
    }
    FWake.notify_all();
}

int64_t ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

namespace {
int Entries(const char* folder) {
    int n = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 2;  // "." and ".."
}
}  // namespace

int OpenDescriptors() {
    return Entries("/proc/self/fd") - 1;  // the listing's own descriptor
}

int Threads() {
    return Entries("/proc/self/task");
}

void StressWindowTest::SetUp() {
    AppTest::SetUp();
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    Sound = std::make_shared<SimulatedSoundSystem>();
    Sound->SetKeepHistory(false);
    SimulatedSoundSystem* sound = Sound.get();
    Sound->SetOnSleep([this, sound](uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::microseconds(ms * FMicrosPerMs.load()));
        sound->Advance(ms);
    });
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    Form->audOut->SetOnTrackChange([this](TComponent*) {
        ++FJoined;
        Form->Player().TrackChanged();
    });
    auto dialogs = std::make_unique<AnsweringDialogs>();
    Dialogs = dialogs.get();
    Form->SetDialogs(std::move(dialogs));
}

void StressWindowTest::TearDown() {
    Form.reset();
    AppTest::TearDown();
}

void StressWindowTest::AddRows(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) Form->AppendEntry(path.substr(path.rfind('/') + 1), path);
}

void StressWindowTest::PlayRow(int row) {
    Form->SetItemIndex(row);
    Form->sbPlay->click();
}

bool StressWindowTest::ModelInStep() const {
    const int rows = Form->Count();
    EXPECT_EQ(static_cast<size_t>(rows), Form->PlaylistEntries().size());
    if (static_cast<size_t>(rows) != Form->PlaylistEntries().size()) return false;
    for (int i = 0; i < rows; ++i) {
        const std::string text = Form->lbPlaylist->RowText(i).toStdString();
        if (Utf8Left(text, 150) != Form->PlaylistEntries()[static_cast<size_t>(i)].Title) {
            ADD_FAILURE() << "row " << i << " shows \"" << text << "\", entry is \""
                          << Form->PlaylistEntries()[static_cast<size_t>(i)].Title << "\"";
            return false;
        }
    }
    EXPECT_LT(Form->ItemIndex(), rows);
    return Form->ItemIndex() < rows;
}

void StressWindowTest::Serve(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace quillet::test
