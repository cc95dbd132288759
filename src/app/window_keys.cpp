#include "window_keys.h"

#include <QShortcut>
#include <algorithm>
#include <functional>

#include "app_errors.h"
#include "slider_keys.h"

namespace quillet {

namespace {

constexpr int kSeekSeconds = 5;

}  // namespace

TWindowKeys::TWindowKeys(const TKeyTargets& targets, TKeyHints& hints) : F(targets) {
    auto add = [this](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, F.Window);
        connect(shortcut, &QShortcut::activated, this,
                [action = std::move(action)] { Guarded(action); });
    };
    const QKeySequence space(Qt::Key_Space), del(Qt::Key_Delete);
    const QKeySequence open(Qt::CTRL | Qt::Key_O), save(Qt::CTRL | Qt::Key_S);
    add(space, [this] { PlayOrPause(); });
    add(QKeySequence(Qt::Key_Left), [this] { F.Player->SeekBySeconds(-kSeekSeconds); });
    add(QKeySequence(Qt::Key_Right), [this] { F.Player->SeekBySeconds(kSeekSeconds); });
    add(QKeySequence(Qt::Key_Up), [this] { MoveSelection(-1); });
    add(QKeySequence(Qt::Key_Down), [this] { MoveSelection(1); });
    add(del, [this] { F.Remove->click(); });
    add(open, [this] { F.Open->click(); });
    add(save, [this] { F.Save->click(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { F.Window->close(); });
    KeepArrowKeys({F.Position, F.Volume});
    add(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { F.Previous->click(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { F.Next->click(); });
    for (auto [key, button] : {std::pair{Qt::Key_MediaPrevious, F.Previous},
                               {Qt::Key_MediaNext, F.Next},
                               {Qt::Key_MediaStop, F.Stop},
                               {Qt::Key_MediaPlay, F.Play},
                               {Qt::Key_MediaPause, F.Pause}})
        add(QKeySequence(key), [button] { button->click(); });
    add(QKeySequence(Qt::Key_MediaTogglePlayPause), [this] { PlayOrPause(); });

    hints.SetKeys({{F.Pause, space}, {F.Remove, del}, {F.Open, open}, {F.Save, save}});
}

void TWindowKeys::PlayOrPause() {
    if (F.Player->Active()) {
        F.Pause->click();
    } else {
        F.Play->click();
    }
}

void TWindowKeys::MoveSelection(int delta) {
    // The volume slider keeps its own arrow keys.
    if (F.Window->focusWidget() == F.Volume) {
        const bool towardsMinimum = (delta < 0) == F.Volume->invertedControls();
        F.Volume->triggerAction(towardsMinimum ? QAbstractSlider::SliderSingleStepSub
                                               : QAbstractSlider::SliderSingleStepAdd);
        return;
    }
    const TPlaylistModel& list = F.List->List();
    const int count = list.Count();
    if (count == 0) return;
    const int index = list.Selected();
    const int row =
        index < 0 ? (delta > 0 ? 0 : count - 1) : std::clamp(index + delta, 0, count - 1);
    // The user's own selection change, as the list's arrow keys would make it.
    F.List->SelectAsUser(row);
}

}  // namespace quillet
