#include "desktop_session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "app_errors.h"
#include "art_loader.h"
#include "queue_state.h"
#include "session_resume.h"
#include "session_state.h"
#include "track_tags.h"

namespace quillet {

TDesktopSession::TDesktopSession(TPlaybackController& player, QWidget& window,
                                 TInstanceMessage arguments, std::string configFolder,
                                 QString socketName)
    : FPlayer(player),
      FList(player.List()),
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
    FMpris.RequestArt = [this](const std::string& path) {
        Post([path] { return ArtFileOf(path); },
             [this, path](const std::string& file) { FMpris.SetArt(path, file); });
    };
}

TDesktopSession::~TDesktopSession() {
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
            self.data(), [done = std::move(done), result = std::move(result)] { done(result); },
            Qt::QueuedConnection);
    });
}

void TDesktopSession::StartWhenShown() {
    QTimer::singleShot(1000, this, &TDesktopSession::Start);
}

bool TDesktopSession::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FWindow && event->type() == QEvent::Paint && !FStarted)
        QTimer::singleShot(0, this, &TDesktopSession::Start);
    if (watched == &FWindow && event->type() == QEvent::Close) {
        FResume = HeardPoint(FPlayer);
        FClosed = true;
    }
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
        std::vector<int> Queue;  // rows of State.Entries
    };
    const std::string folder = FConfigFolder;
    const std::vector<std::string> paths = FArguments.Paths;
    const bool play = !FArguments.Enqueue;
    auto cancel = FCancel;
    Post(
        [folder, paths, cancel] {
            TStart start{LoadSessionState(folder),
                         LoadResumePoint(folder),
                         ExpandPaths(paths, cancel.get()),
                         {}};
            start.Queue = LoadQueueRows(folder, start.State.Entries.size());
            return start;
        },
        [this, play](const TStart& start) {
            // Anything already in the list (a drop in the first instant) stays
            // after the restored entries' turn: they were there first.
            FPlayer.SetRepeat(start.State.Repeat);
            FPlayer.SetShuffle(start.State.Shuffle);
            FPlayer.SetReplayGain(start.State.Gain);
            const int first = FList.Count();
            FList.Append(start.State.Entries);
            if (start.State.Row >= 0) FList.Select(first + start.State.Row);
            // After anything queued in the first instant, as the list is.
            std::vector<TEntryId> queue = FPlayer.Queue().Ids();
            for (const int row : start.Queue) queue.push_back(FList[size_t(first + row)].Id);
            FPlayer.SetQueue(queue);
            FPlayer.SetVolume(start.State.Volume);
            // Files given to play take the place of the track left off.
            if (!play || start.Added.empty()) ResumeAt(FPlayer, start.Resume, first);
            FRestored = true;
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
    // A file already in the list plays from its row instead of coming again.
    int row = -1;
    entries = NewEntries(FList, std::move(entries), row);
    // Rows show file names until the files' tags are read.
    FList.Append(std::move(entries));
    if (!play || row < 0) return;
    FList.Select(row);
    Guarded([&] { FPlayer.Play(); });
}

void TDesktopSession::SaveState() {
    if (!FRestored || FConfigFolder.empty()) return;
    TSessionState state;
    state.Entries = FList.Items();
    state.Row = FList.Selected();
    state.Volume = FPlayer.Volume();
    state.Repeat = FPlayer.Repeat();
    state.Shuffle = FPlayer.Shuffle();
    state.Gain = FPlayer.ReplayGain();
    try {
        SaveSessionState(FConfigFolder, state);
        SaveQueueRows(FConfigFolder, FList, FPlayer.Queue());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillet: the list could not be kept: %s\n", e.what());
        return;
    }
    // The window closed first; while it is open, where the sound is now.
    SaveResumePoint(FConfigFolder, FClosed ? FResume : HeardPoint(FPlayer));
}

}  // namespace quillet
