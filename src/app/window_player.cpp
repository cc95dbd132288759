#include "window_player.h"

#include <QApplication>
#include <QEvent>

#include "app_errors.h"
#include "paths.h"

namespace quillet {

TWindowPlayer::TWindowPlayer(TFrmQuillet& window) : W(window) {}

void TWindowPlayer::Watch(std::function<void()> changed, std::function<void()> jumped) {
    FChanged = std::move(changed);
    auto notify = [this] {
        if (FChanged) FChanged();
    };
    // Progress, the list's content and selection, the volume: each has a
    // signal. Keys and clicks (shortcuts, Enter, the buttons) act through
    // handlers that have none, so any input event asks for a look as well.
    connect(W.sbSoundLength, &QScrollBar::valueChanged, this, notify);
    connect(W.tbVolume, &QSlider::valueChanged, this, notify);
    connect(&W, &TFrmQuillet::PlayModesChanged, this, notify);
    connect(W.lbPlaylist, &QListWidget::currentRowChanged, this, notify);
    QAbstractItemModel* model = W.lbPlaylist->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, notify);
    connect(model, &QAbstractItemModel::rowsRemoved, this, notify);
    connect(model, &QAbstractItemModel::modelReset, this, notify);
    connect(model, &QAbstractItemModel::dataChanged, this, notify);
    auto seek = [jumped = std::move(jumped)] {
        if (jumped) jumped();
    };
    connect(W.sbSoundLength, &QScrollBar::actionTriggered, this, seek, Qt::QueuedConnection);
    connect(W.sbSoundLength, &QScrollBar::sliderReleased, this, seek, Qt::QueuedConnection);
    qApp->installEventFilter(this);
}

bool TWindowPlayer::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::Shortcut:
            if (FChanged) FChanged();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

TAuFileIn* TWindowPlayer::RunningInput() const {
    if (!W.audOut->Active()) return nullptr;
    return dynamic_cast<TAuFileIn*>(W.audOut->Input());
}

TPlayerControl::TStatus TWindowPlayer::Status() const {
    if (!W.audOut->Active()) return TStatus::Stopped;
    return W.audOut->PauseRequested() ? TStatus::Paused : TStatus::Playing;
}

std::optional<TPlayerControl::TTrack> TWindowPlayer::Track() const {
    const std::vector<TPlaylistEntry>& entries = W.PlaylistEntries;
    const int count = static_cast<int>(entries.size());
    const int selected = W.ItemIndex();
    auto entryAt = [&](int row) -> TTrack {
        const TPlaylistEntry& e = entries[static_cast<size_t>(row)];
        return {e.FilePath, e.Title, row};
    };
    const TAuFileIn* input = RunningInput();
    if (input == nullptr) {
        if (selected < 0 || selected >= count) return std::nullopt;
        return entryAt(selected);
    }
    const std::string& path = input->FileName();
    // The row heard now (the next one may already be decoding); after edits,
    // the row may have moved.
    for (int row : {W.PlayingRow(), selected, FLastRow})
        if (row >= 0 && row < count && entries[static_cast<size_t>(row)].FilePath == path)
            return entryAt(FLastRow = row);
    for (int row = 0; row < count; ++row)
        if (entries[static_cast<size_t>(row)].FilePath == path) return entryAt(FLastRow = row);
    return TTrack{path, std::string(FileNamePart(path)), -1};
}

TPlayPosition TWindowPlayer::Position() const {
    return PlayPositionOf(W.audOut->PlayPoint());
}

bool TWindowPlayer::CanSeek() const {
    const auto* input = dynamic_cast<const TAuStreamedInput*>(RunningInput());
    return input != nullptr && input->CanSeek() && Position().Length > 0;
}

bool TWindowPlayer::CanGoNext() const {
    // Next wraps around, and with nothing selected starts at the top.
    return W.Count() > 0;
}

bool TWindowPlayer::CanGoPrevious() const {
    // In the list's order Previous with nothing selected selects nothing and
    // plays nothing; shuffled, it goes back to the rows played.
    return W.FChain->Order().CanGoPrevious(W.ItemIndex());
}

int TWindowPlayer::Volume() const {
    return W.tbVolume->value();
}

void TWindowPlayer::SetVolume(int value) {
    // Through the slider, so its handler sets the output as a drag would.
    W.tbVolume->setValue(value);
}

TPlayerControl::TLoop TWindowPlayer::Loop() const {
    switch (W.RepeatMode()) {
        case TRepeat::List:
            return TLoop::Playlist;
        case TRepeat::One:
            return TLoop::Track;
        default:
            return TLoop::None;
    }
}

void TWindowPlayer::SetLoop(TLoop loop) {
    Guarded([&] {
        switch (loop) {
            case TLoop::Playlist:
                W.SetRepeatMode(TRepeat::List);
                break;
            case TLoop::Track:
                W.SetRepeatMode(TRepeat::One);
                break;
            case TLoop::None:
                // Both ways of stopping read as None: one already chosen stays.
                if (Loop() != TLoop::None) W.SetRepeatMode(TRepeat::StopAtEnd);
                break;
        }
    });
}

bool TWindowPlayer::Shuffle() const {
    return W.ShuffleMode();
}

void TWindowPlayer::SetShuffle(bool on) {
    Guarded([&] { W.SetShuffleMode(on); });
}

void TWindowPlayer::Play() {
    Guarded([&] { W.sbPlayClick(); });
}

void TWindowPlayer::PauseButton() {
    Guarded([&] { W.sbPauseClick(); });
}

void TWindowPlayer::Stop() {
    Guarded([&] { W.sbStopClick(); });
}

void TWindowPlayer::Next() {
    Guarded([&] { W.sbForwardClick(); });
}

void TWindowPlayer::Previous() {
    Guarded([&] { W.sbRewindClick(); });
}

void TWindowPlayer::SeekTo(int64_t microseconds) {
    TAuFileIn* input = RunningInput();
    if (input == nullptr) return;
    const uint32_t rate = W.audOut->PlayPoint().Rate;
    if (rate == 0) return;
    Guarded([&] { input->GoToSample(FrameAt(microseconds, rate)); });
}

void TWindowPlayer::Open(const std::vector<std::string>& paths) {
    if (OnOpen) OnOpen(paths);
}

void TWindowPlayer::Raise() {
    if (W.isMinimized()) W.showNormal();
    W.show();
    W.raise();
    W.activateWindow();
}

void TWindowPlayer::Quit() {
    W.close();
}

}  // namespace quillet
