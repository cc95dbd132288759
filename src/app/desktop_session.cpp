#include "desktop_session.h"

#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app_errors.h"
#include "art_loader.h"
#include "list_session.h"
#include "session_resume.h"
#include "session_state.h"
#include "track_tags.h"

namespace quillet {

namespace {

// How long after a change the state is saved: changes in a burst (a tag
// read per row) make one save.
constexpr int kSaveDelayMs = 2000;
// The longest a quit may take before the process ends anyway.
constexpr auto kQuitLimit = std::chrono::milliseconds(2000);

}  // namespace

TDesktopSession::TDesktopSession(TPlaybackController& player, QWidget& window,
                                 TInstanceMessage arguments, std::string configFolder,
                                 QString socketName)
    : FPlayer(player),
      FLists(*player.Lists()),
      FWindow(window),
      FArguments(std::move(arguments)),
      FConfigFolder(std::move(configFolder)),
      FSocketName(std::move(socketName)),
      FBusPlayer(player, window),
      FMpris(FBusPlayer) {
    FJobs.setMaxThreadCount(1);
    // Sees the window's first paint, and its close before the sound stops.
    FWindow.installEventFilter(this);
    FBusPlayer.OnOpen = [this](const std::vector<std::string>& paths) { Open(paths, true); };
    FServer.OnMessage = [this](TInstanceMessage message) { Open(message.Paths, !message.Enqueue); };
    FBusPlayer.OnQuit = [this] { QuitNow(); };
    FSaveTimer.setSingleShot(true);
    FSaveTimer.setInterval(kSaveDelayMs);
    connect(&FSaveTimer, &QTimer::timeout, this, [this] { SaveState(); });
    FLists.AddListener(this);
    FPlayer.AddListener(this);
    FMpris.RequestArt = [this](const std::string& path) {
        Post([path] { return ArtFileOf(path); },
             [this, path](const std::string& file) { FMpris.SetArt(path, file); });
    };
}

TDesktopSession::~TDesktopSession() {
    FPlayer.RemoveListener(this);
    FLists.RemoveListener(this);
    // A long folder walk ends at its next entry; nothing it found is used.
    FCancel->store(true);
    FJobs.waitForDone();
}

template <class Work, class Done>
void TDesktopSession::Post(Work work, Done done) {
    QPointer<TDesktopSession> self(this);
    FJobs.start([self, work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        // Dropped by Qt if the session is gone by then.
        QMetaObject::invokeMethod(
            self.data(),
            [done = std::move(done), result = std::move(result)]() mutable { done(result); },
            Qt::QueuedConnection);
    });
}

void TDesktopSession::StartWhenShown() {
    QTimer::singleShot(1000, this, &TDesktopSession::Start);
}

bool TDesktopSession::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FWindow && event->type() == QEvent::Paint && !FStarted)
        QTimer::singleShot(0, this, &TDesktopSession::Start);
    if (watched == &FWindow && event->type() == QEvent::Close) KeepResumePoint();
    return QObject::eventFilter(watched, event);
}

void TDesktopSession::Start() {
    if (FStarted) return;
    FStarted = true;
    if (!FSocketName.isEmpty()) {
        switch (FServer.Listen(FSocketName)) {
            case TInstanceServer::TListen::OtherInstance:
                // Started at the same moment as another: that one keeps the list.
                FHandedOff = HandOffToRunningInstance(FSocketName, FArguments);
                if (FHandedOff) {
                    FWindow.hide();
                    QCoreApplication::exit(0);
                    return;
                }
                break;
            default:
                break;  // no socket: this player simply runs alone
        }
    }
    struct TStart {
        TSessionState State;
        TResumePoint Resume;
        std::vector<TPlaylistEntry> Added;
        TKeptLists Lists;
    };
    const std::string folder = FConfigFolder;
    const std::vector<std::string> paths = FArguments.Paths;
    const bool play = !FArguments.Enqueue;
    auto cancel = FCancel;
    Post(
        [folder, paths, cancel] {
            return TStart{LoadSessionSettings(folder), LoadResumePoint(folder),
                          ExpandPaths(paths, cancel.get()), LoadKeptLists(folder)};
        },
        [this, play](TStart& start) {
            FPlayer.SetRepeat(start.State.Repeat);
            FPlayer.SetShuffle(start.State.Shuffle);
            FPlayer.SetReplayGain(start.State.Gain);
            // Anything already in the list (a drop in the first instant) stays
            // after the restored entries: they were there first.
            const int before = FLists.List(0).Count();
            const bool legacy = start.Lists.Legacy;
            std::vector<TListId> ids;
            for (const TKeptList& list : start.Lists.Lists) ids.push_back(list.Id);
            std::vector<int> places = RestoreKeptLists(std::move(start.Lists), FLists, FPlayer);
            FPlayer.SetVolume(start.State.Volume);
            // Files given to play take the place of the track left off.
            if (!play || start.Added.empty()) {
                int index = -1;
                for (size_t i = 0; i < places.size(); ++i)
                    if (ids[i] == start.Resume.List || (legacy && start.Resume.List == kNoList))
                        index = places[i];
                if (FLists.Contains(index)) {
                    FPlayer.SetList(FLists.List(index));
                    ResumeAt(FPlayer, start.Resume, index == 0 ? before : 0);
                }
            }
            FRestored = true;
            // The lists are as their files keep them; an older version's
            // files are written anew, in the lists' folder.
            FDirty.clear();
            if (before > 0) FDirty.insert(FLists.Id(0));
            FAllDirty = legacy;
            AddEntries(start.Added, play);
        });
    FBusPlayer.Watch([this] { FMpris.RefreshSoon(); }, [this] { FMpris.PositionJumped(); });
    FMpris.Publish(QDBusConnection::sessionBus());
}

void TDesktopSession::Open(const std::vector<std::string>& paths, bool play) {
    auto cancel = FCancel;
    Post([paths, cancel] { return ExpandPaths(paths, cancel.get()); },
         [this, play](const std::vector<TPlaylistEntry>& entries) { AddEntries(entries, play); });
}

void TDesktopSession::AddEntries(std::vector<TPlaylistEntry> entries, bool play) {
    // They go to the list shown. A file already in it plays from its row
    // instead of coming again.
    TPlaylistModel& list = FLists.Shown();
    int row = -1;
    entries = NewEntries(list, std::move(entries), row);
    // Rows show file names until the files' tags are read.
    list.Append(std::move(entries));
    if (!play || row < 0) return;
    list.Select(row);
    Guarded([&] { FPlayer.PlayShown(); });
}

void TDesktopSession::ListsChanged() {
    // A list back from an undone close is kept again, whole.
    for (int i = 0; i < FLists.Count(); ++i)
        if (FClosedLists.erase(FLists.Id(i)) > 0) FDirty.insert(FLists.Id(i));
    SaveSoon();
}

void TDesktopSession::ListClosing(TPlaylistModel& list) {
    const int index = FLists.IndexOf(list);
    if (index >= 0) FClosedLists.insert(FLists.Id(index));
    SaveSoon();
}

void TDesktopSession::EntriesChanged(TPlaylistModel& list) {
    const int index = FLists.IndexOf(list);
    if (index >= 0) FDirty.insert(FLists.Id(index));
    SaveSoon();
}

void TDesktopSession::SaveSoon() {
    // Nothing is written before the kept state was read.
    if (FRestored && !FConfigFolder.empty() && !FSaveTimer.isActive()) FSaveTimer.start();
}

void TDesktopSession::KeepResumePoint() {
    // The first close counts: by a later one the sound has stopped.
    if (FClosed) return;
    FResume = HeardPoint(FPlayer);
    FClosed = true;
}

void TDesktopSession::QuitNow() {
    KeepResumePoint();
    SaveState();
    // Should a box's loop or a stuck device hold the process, it ends anyway:
    // the state is on disk by now.
    std::thread([] {
        std::this_thread::sleep_for(kQuitLimit);
        std::fflush(nullptr);
        _exit(0);
    }).detach();
    FPlayer.Stop();
    // Leaving the loop first makes every box's own loop return at once.
    QCoreApplication::exit(0);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &FWindow && w->isVisible()) w->close();
    FWindow.close();
}

void TDesktopSession::SaveState() {
    if (!FRestored || FConfigFolder.empty()) return;
    FSaveTimer.stop();
    TSessionState state;
    state.Volume = FPlayer.Volume();
    state.Repeat = FPlayer.Repeat();
    state.Shuffle = FPlayer.Shuffle();
    state.Gain = FPlayer.ReplayGain();
    try {
        for (int i = 0; i < FLists.Count(); ++i) {
            if (!FAllDirty && FDirty.count(FLists.Id(i)) == 0) continue;
            SaveListFile(FConfigFolder, FLists, i);
            FDirty.erase(FLists.Id(i));
        }
        FAllDirty = false;
        SaveListsIndex(FConfigFolder, FLists, FPlayer);
        RemoveListFiles(FConfigFolder, FClosedLists);
        FClosedLists.clear();
        SaveSessionSettings(FConfigFolder, state);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillet: the list could not be kept: %s\n", e.what());
        return;
    }
    // The window closed first; while it is open, where the sound is now.
    SaveResumePoint(FConfigFolder, FClosed ? FResume : HeardPoint(FPlayer));
}

}  // namespace quillet
