#include "queue_actions.h"

#include <QKeyEvent>

#include "app_errors.h"

namespace quillet {

namespace {

constexpr char kPlayNextKey[] = "PlayNext";
constexpr char kPlayNextText[] = "Play next";

}  // namespace

TQueueActions::TQueueActions(TPlaybackController& player, TPlaylistBox& list, QMenu& menu)
    : FPlayer(player),
      FList(&list),
      FListObject(&list),
      FAction(new QAction(QLatin1String(kPlayNextText), &menu)) {
    FAction->setObjectName(QLatin1String(kPlayNextKey));
    // Shown in the menu only: the list's own filter takes the keys.
    FAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    FAction->setShortcutContext(Qt::WidgetShortcut);
    // Checked on a queued row: choosing it again unqueues the row.
    FAction->setCheckable(true);
    connect(&menu, &QMenu::aboutToShow, this, [this] {
        const TEntryId id = FList ? FList->List().SelectedId() : kNoEntry;
        if (FAction) FAction->setChecked(id != kNoEntry && FPlayer.Queue().Position(id) > 0);
    });
    menu.addSeparator();
    menu.addAction(FAction);
    connect(FAction, &QAction::triggered, this, [this] { Guarded([&] { QueueSelected(); }); });
    list.ViewModel().SetQueue(&FPlayer.Queue());
    list.installEventFilter(this);
    FPlayer.AddListener(this);
}

TQueueActions::~TQueueActions() {
    FPlayer.RemoveListener(this);
    if (FList) FList->ViewModel().SetQueue(nullptr);
}

void TQueueActions::QueueSelected() {
    const TEntryId id = FList ? FList->List().SelectedId() : kNoEntry;
    if (id == kNoEntry) return;
    // A second time takes the row out of the queue again.
    if (FPlayer.Queue().Position(id) > 0) {
        FPlayer.Dequeue(id);
    } else {
        FPlayer.Enqueue(id);
    }
}

void TQueueActions::LoadTexts(const TTextReader& read) {
    if (FAction) FAction->setText(QString::fromStdString(read(kPlayNextKey, kPlayNextText)));
}

bool TQueueActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FListObject && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((enter && mods == Qt::ControlModifier) ||
            (key->text() == QLatin1String("q") && mods == Qt::NoModifier)) {
            Guarded([&] { QueueSelected(); });
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TQueueActions::QueueChanged() {
    if (FRefreshPending) return;
    FRefreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FRefreshPending = false;
            if (FList) FList->ViewModel().QueueChanged();
        },
        Qt::QueuedConnection);
}

}  // namespace quillet
