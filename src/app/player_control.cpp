#include "player_control.h"

#include "app_errors.h"
#include "paths.h"
#include "time_range.h"

namespace quillet {

TControllerPlayer::TControllerPlayer(TPlaybackController& player, QWidget& window)
    : FPlayer(player), FWindow(window) {
    FPlayer.AddListener(this);
    if (FPlayer.Lists() != nullptr) {
        FPlayer.Lists()->AddListener(this);
    } else {
        FPlayer.List().AddListener(this);
    }
}

TControllerPlayer::~TControllerPlayer() {
    if (FPlayer.Lists() != nullptr) {
        FPlayer.Lists()->RemoveListener(this);
    } else {
        FPlayer.List().RemoveListener(this);
    }
    FPlayer.RemoveListener(this);
}

void TControllerPlayer::Watch(std::function<void()> changed, std::function<void()> jumped) {
    FChanged = std::move(changed);
    FJumped = std::move(jumped);
}

void TControllerPlayer::Changed() {
    if (FChanged) FChanged();
}

void TControllerPlayer::Seeked() {
    Changed();
    // A seek the bus asked for is told to the bus by the service itself.
    if (FJumped && !FBusSeek) FJumped();
}

TPlayerControl::TStatus TControllerPlayer::Status() const {
    // A restored session's track is held where it was: paused there.
    if (!FPlayer.Active())
        return FPlayer.ResumeEntry() != kNoEntry ? TStatus::Paused : TStatus::Stopped;
    return FPlayer.PausedNow() ? TStatus::Paused : TStatus::Playing;
}

std::optional<TPlayerControl::TTrack> TControllerPlayer::Track() const {
    auto of = [](const TEntry& e, int row) {
        TTrack track{e.FilePath, e.Title, row, e.Id, std::nullopt};
        // A sheet's track and a stream carry their own tags; a file's are
        // the list's reader's, once it has read them.
        if (e.Info.State != TEntryState::Unread || TagsOf(e).Track != 0 || IsUrl(e.FilePath))
            track.Tags = e.Info.Tags;
        // Microseconds are frames at a rate of a million.
        if (e.Info.LengthFlicks >= 0) track.Length = FlicksToFrames(e.Info.LengthFlicks, 1000000);
        return track;
    };
    const TPlaylistModel& list = List();
    if (!FPlayer.Active()) {
        if (const int held = list.IndexOf(FPlayer.ResumeEntry()); held >= 0)
            return of(list[static_cast<size_t>(held)], held);
        const int selected = list.Selected();
        if (selected < 0) return std::nullopt;
        return of(list[static_cast<size_t>(selected)], selected);
    }
    const int row = list.IndexOf(FPlayer.HeardEntry());
    if (row >= 0) return of(list[static_cast<size_t>(row)], row);
    // The entry heard has left the list; its sound goes on.
    const std::string& path = FPlayer.HeardTrack().Path;
    return TTrack{path, std::string(FileNamePart(path)), -1, FPlayer.HeardEntry(), std::nullopt};
}

TPlayPosition TControllerPlayer::Position() const {
    return PlayPositionOf(FPlayer.PlayPoint());
}

bool TControllerPlayer::CanSeek() const {
    return FPlayer.CanSeek();
}

bool TControllerPlayer::CanGoNext() const {
    // Next wraps around, and with nothing selected starts at the top.
    return !List().empty();
}

bool TControllerPlayer::CanGoPrevious() const {
    // In the list's order Previous with nothing selected selects nothing and
    // plays nothing; shuffled, it goes back to the rows played.
    return FPlayer.CanGoPrevious();
}

int TControllerPlayer::Volume() const {
    return FPlayer.Volume();
}

void TControllerPlayer::SetVolume(int value) {
    Guarded([&] { FPlayer.SetVolume(value); });
}

TPlayerControl::TLoop TControllerPlayer::Loop() const {
    switch (FPlayer.Repeat()) {
        case TRepeat::List:
            return TLoop::Playlist;
        case TRepeat::One:
            return TLoop::Track;
        default:
            return TLoop::None;
    }
}

void TControllerPlayer::SetLoop(TLoop loop) {
    Guarded([&] {
        switch (loop) {
            case TLoop::Playlist:
                FPlayer.SetRepeat(TRepeat::List);
                break;
            case TLoop::Track:
                FPlayer.SetRepeat(TRepeat::One);
                break;
            case TLoop::None:
                // Both ways of stopping read as None: one already chosen stays.
                if (Loop() != TLoop::None) FPlayer.SetRepeat(TRepeat::StopAtEnd);
                break;
        }
    });
}

bool TControllerPlayer::Shuffle() const {
    return FPlayer.Shuffle();
}

void TControllerPlayer::SetShuffle(bool on) {
    Guarded([&] { FPlayer.SetShuffle(on); });
}

void TControllerPlayer::Play() {
    Guarded([&] { FPlayer.Play(); });
}

void TControllerPlayer::PauseButton() {
    Guarded([&] { FPlayer.PauseButton(); });
}

void TControllerPlayer::Stop() {
    Guarded([&] { FPlayer.Stop(); });
}

void TControllerPlayer::Next() {
    Guarded([&] { FPlayer.Next(); });
}

void TControllerPlayer::Previous() {
    Guarded([&] { FPlayer.Previous(); });
}

void TControllerPlayer::SeekTo(int64_t microseconds) {
    FBusSeek = true;
    Guarded([&] { FPlayer.SeekTo(microseconds); });
    FBusSeek = false;
}

void TControllerPlayer::Open(const std::vector<std::string>& paths) {
    if (OnOpen) OnOpen(paths);
}

void TControllerPlayer::Raise() {
    if (FWindow.isMinimized()) FWindow.showNormal();
    FWindow.show();
    FWindow.raise();
    FWindow.activateWindow();
}

void TControllerPlayer::Quit() {
    if (OnQuit) {
        OnQuit();
    } else {
        FWindow.close();
    }
}

std::vector<TPlayerControl::TPlaylist> TControllerPlayer::Playlists() const {
    std::vector<TPlaylist> lists;
    if (const TPlaylistSet* set = FPlayer.Lists())
        for (int i = 0; i < set->Count(); ++i) lists.push_back({set->Id(i), set->Name(i)});
    return lists;
}

std::optional<TPlayerControl::TPlaylist> TControllerPlayer::ActivePlaylist() const {
    const TPlaylistSet* set = FPlayer.Lists();
    const int index = set != nullptr ? set->IndexOf(FPlayer.List()) : -1;
    if (index < 0) return std::nullopt;
    return TPlaylist{set->Id(index), set->Name(index)};
}

bool TControllerPlayer::ActivatePlaylist(uint64_t id) {
    TPlaylistSet* set = FPlayer.Lists();
    const int index = set != nullptr ? set->IndexOf(id) : -1;
    if (index < 0) return false;
    TPlaylistModel& list = set->List(index);
    Guarded([&] {
        FPlayer.SetList(list);
        if (list.Selected() < 0) list.Select(0);
        FPlayer.Play();
    });
    return true;
}

}  // namespace quillet
