// The player's place on the desktop, around the main window: the paths of
// the command line (and of later starts), the one-player-per-session socket,
// the bus interface and the state kept between runs. Everything that could
// slow the first window waits until it is shown (Start); reading folders,
// playlists and the saved state runs on a worker thread of its own, one job
// after another, so the list gets them in the order they were asked for.
// Once restored, the lists and the state are saved soon after they change
// (a list's file only when that list changed), not only at the end.
//
// GUI thread, except the jobs.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QWidget>

#include "command_line.h"
#include "mpris.h"
#include "playback_controller.h"
#include "player_control.h"
#include "session_resume.h"
#include "single_instance.h"

namespace quillet {

class TDesktopSession : public QObject, private TPlaylistSetListener, private TPlaybackListener {
    Q_OBJECT
  public:
    // `player` plays the list; `window` is the main window (hidden when this
    // start hands over, raised and closed for the bus). `configFolder` holds
    // the saved state (empty: nothing is kept); `socketName` is the
    // single-instance socket (empty: none).
    TDesktopSession(TPlaybackController& player, QWidget& window, TInstanceMessage arguments,
                    std::string configFolder, QString socketName);
    ~TDesktopSession() override;

    // After the window is shown: the socket, then the saved state and the
    // arguments, then the bus. When another player already listens, the
    // arguments go to it and the application quits.
    void Start();
    // Start() once the window has painted for the first time (so its map
    // request has reached the display), or after a second at the latest.
    void StartWhenShown();
    // Opens the paths as the command line does: added in the background,
    // then, with `play`, the first one added plays.
    void Open(const std::vector<std::string>& paths, bool play);
    // Appends entries; with `play`, the first of them is selected and played.
    void AddEntries(std::vector<TPlaylistEntry> entries, bool play);
    // Writes the state; only once it has been read, so a start that ends
    // early never replaces it. Errors are kept to stderr: the window is gone.
    void SaveState();
    // Ends the program now, whatever box is open: saves the state, closes
    // every window and leaves the loop (SIGTERM, SIGINT, SIGHUP, the bus's
    // Quit). Should the loop not end, the process ends 2 s later.
    void QuitNow();

    bool Restored() const { return FRestored; }
    bool HandedOff() const { return FHandedOff; }
    TMprisService& Mpris() { return FMpris; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // TPlaylistSetListener and TPlaybackListener: what changed is saved soon.
    void ListsChanged() override;
    void ShownChanged() override { SaveSoon(); }
    void PlayingListChanged() override { SaveSoon(); }
    void ListClosing(TPlaylistModel& list) override;
    void EntriesChanged(TPlaylistModel& list) override;
    void SelectionMoved(TPlaylistModel&) override { SaveSoon(); }
    void SettingsChanged() override { SaveSoon(); }
    void QueueChanged() override { SaveSoon(); }
    void PlaybackChanged() override { SaveSoon(); }
    void SaveSoon();
    // Where the heard track stands as the window closes (or the program
    // quits), kept for the saves that follow.
    void KeepResumePoint();
    // Runs `work` on the job thread, then `done` with its result here.
    template <class Work, class Done>
    void Post(Work work, Done done);

    TPlaybackController& FPlayer;
    TPlaylistSet& FLists;
    QWidget& FWindow;
    TInstanceMessage FArguments;
    std::string FConfigFolder;
    QString FSocketName;
    TControllerPlayer FBusPlayer;
    TMprisService FMpris;
    TInstanceServer FServer;
    QThreadPool FJobs;
    std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);
    TResumePoint FResume;  // where the heard track stood when the window closed
    bool FClosed = false;
    QTimer FSaveTimer;               // the debounce of SaveSoon
    std::set<TListId> FDirty;        // lists whose files are to be written
    std::set<TListId> FClosedLists;  // lists closed (their files go)
    bool FAllDirty = false;          // a start from an older version's files
    bool FStarted = false;
    bool FRestored = false;
    bool FHandedOff = false;
};

}  // namespace quillet
