// The player as the bus sees it (TPlayerControl), over the playback
// controller and the playlist: each command is the controller's, the track
// is the entry heard (or, when stopped, the one Play would start), and every
// change the two report asks the bus for a look.
//
// GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "mpris.h"
#include "playback_controller.h"
#include "playlist_model.h"

namespace quillet {

class TControllerPlayer : public TPlayerControl,
                          private TPlaybackListener,
                          private TPlaylistListener,
                          private TPlaylistSetListener {
  public:
    // `window` is raised and closed for the bus.
    TControllerPlayer(TPlaybackController& player, QWidget& window);
    ~TControllerPlayer() override;

    // `changed` after anything the bus may show changed (many calls may come
    // for one change); `jumped` after playback moved to another position.
    void Watch(std::function<void()> changed, std::function<void()> jumped);
    // What Quit() does; unset, the window closes.
    std::function<void()> OnQuit;
    // What Open() does with its paths.
    std::function<void(const std::vector<std::string>& paths)> OnOpen;

    TStatus Status() const override;
    std::optional<TTrack> Track() const override;
    TPlayPosition Position() const override;
    bool CanSeek() const override;
    bool CanGoNext() const override;
    bool CanGoPrevious() const override;
    int Volume() const override;
    void SetVolume(int value) override;
    TLoop Loop() const override;
    void SetLoop(TLoop loop) override;
    bool Shuffle() const override;
    void SetShuffle(bool on) override;
    void Play() override;
    void PauseButton() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SeekTo(int64_t microseconds) override;
    void Open(const std::vector<std::string>& paths) override;
    void Raise() override;
    void Quit() override;
    std::vector<TPlaylist> Playlists() const override;
    std::optional<TPlaylist> ActivePlaylist() const override;
    bool ActivatePlaylist(uint64_t id) override;

  private:
    void Changed();
    // TPlaybackListener
    void PlaybackChanged() override { Changed(); }
    void ProgressMoved() override { Changed(); }
    void SettingsChanged() override { Changed(); }
    void Seeked() override;
    // TPlaylistListener
    void AfterInsert(int, int) override { Changed(); }
    void AfterRemove(int, TEntryId) override { Changed(); }
    void AfterReset() override { Changed(); }
    void EntryChanged(int) override { Changed(); }
    void SelectionChanged() override { Changed(); }
    void PlayingChanged() override { Changed(); }
    // TPlaylistSetListener: any list may be the one played from.
    void EntriesChanged(TPlaylistModel&) override { Changed(); }
    void SelectionMoved(TPlaylistModel&) override { Changed(); }
    void ListsChanged() override { Changed(); }
    void ShownChanged() override { Changed(); }
    void PlayingListChanged() override { Changed(); }

    TPlaybackController& FPlayer;
    // The list played from (the controller's, which may change).
    const TPlaylistModel& List() const { return FPlayer.List(); }
    QWidget& FWindow;
    std::function<void()> FChanged;
    std::function<void()> FJumped;
    bool FBusSeek = false;
};

}  // namespace quillet
