#include "window_keys.h"

#include <QShortcut>
#include <algorithm>
#include <functional>

#include "UMain.h"
#include "app_errors.h"
#include "slider_keys.h"

namespace quillet {

namespace {

constexpr int kSeekSeconds = 5;

}  // namespace

TWindowKeys::TWindowKeys(TFrmQuillet& window, TKeyHints& hints) : FWindow(window) {
    TFrmQuillet& w = window;
    auto add = [this, &w](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, &w);
        connect(shortcut, &QShortcut::activated, this,
                [action = std::move(action)] { Guarded(action); });
    };
    const QKeySequence space(Qt::Key_Space), del(Qt::Key_Delete);
    const QKeySequence open(Qt::CTRL | Qt::Key_O), save(Qt::CTRL | Qt::Key_S);
    add(space, [this] { PlayOrPause(); });
    add(QKeySequence(Qt::Key_Left), [&w] { w.Player().SeekBySeconds(-kSeekSeconds); });
    add(QKeySequence(Qt::Key_Right), [&w] { w.Player().SeekBySeconds(kSeekSeconds); });
    add(QKeySequence(Qt::Key_Up), [this] { MoveSelection(-1); });
    add(QKeySequence(Qt::Key_Down), [this] { MoveSelection(1); });
    add(del, [&w] { w.sbRemoveFile->click(); });
    add(open, [&w] { w.sbPlaylistOpen->click(); });
    add(save, [&w] { w.sbSavePlaylist->click(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [&w] { w.close(); });
    KeepArrowKeys({w.sbSoundLength, w.tbVolume});
    add(QKeySequence(Qt::CTRL | Qt::Key_Left), [&w] { w.sbRewind->click(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Right), [&w] { w.sbForward->click(); });
    for (auto [key, button] : {std::pair{Qt::Key_MediaPrevious, w.sbRewind},
                               {Qt::Key_MediaNext, w.sbForward},
                               {Qt::Key_MediaStop, w.sbStop},
                               {Qt::Key_MediaPlay, w.sbPlay},
                               {Qt::Key_MediaPause, w.sbPause}})
        add(QKeySequence(key), [button] { button->click(); });
    add(QKeySequence(Qt::Key_MediaTogglePlayPause), [this] { PlayOrPause(); });

    hints.SetKeys({{w.sbPause, space},
                   {w.sbRemoveFile, del},
                   {w.sbPlaylistOpen, open},
                   {w.sbSavePlaylist, save}});
}

void TWindowKeys::PlayOrPause() {
    if (FWindow.Player().Active()) {
        FWindow.sbPause->click();
    } else {
        FWindow.sbPlay->click();
    }
}

void TWindowKeys::MoveSelection(int delta) {
    QSlider* volume = FWindow.tbVolume;
    // The volume slider keeps its own arrow keys.
    if (FWindow.focusWidget() == volume) {
        const bool towardsMinimum = (delta < 0) == volume->invertedControls();
        volume->triggerAction(towardsMinimum ? QAbstractSlider::SliderSingleStepSub
                                             : QAbstractSlider::SliderSingleStepAdd);
        return;
    }
    const int count = FWindow.Count();
    if (count == 0) return;
    const int index = FWindow.ItemIndex();
    const int row =
        index < 0 ? (delta > 0 ? 0 : count - 1) : std::clamp(index + delta, 0, count - 1);
    // The user's own selection change, as the list's arrow keys would make it.
    FWindow.lbPlaylist->SelectAsUser(row);
}

}  // namespace quillet
