// "Play next" on the list: the context menu's entry, Ctrl+Enter and "q"
// queue the selected row in the controller's play queue, and the list shows
// each queued row's place ("[1] "). The queue itself, and what it plays,
// are the controller's (playback_controller.h).
//
// GUI thread only.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "playback_controller.h"
#include "playlist_box.h"
#include "ui_text.h"

namespace quillet {

class TQueueActions : public QObject, private TPlaybackListener {
    Q_OBJECT
  public:
    // Adds the entry at the end of `menu` and the keys to `list`. The
    // controller must outlive this; the list and the menu may go first.
    TQueueActions(TPlaybackController& player, TPlaylistBox& list, QMenu& menu);
    ~TQueueActions() override;

    // Queues the selected row (nothing without one).
    void QueueSelected();
    // The entry's text from the language file: `read(key, builtIn)`.
    void LoadTexts(const TTextReader& read);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The queue changes in the middle of list changes: the rows' marks are
    // refreshed once the loop is back.
    void QueueChanged() override;

    TPlaybackController& FPlayer;
    QPointer<TPlaylistBox> FList;
    // The list as the events name it: a QPointer may not be read while the
    // list is being destroyed, and events still come then.
    const QObject* const FListObject;
    QPointer<QAction> FAction;
    bool FRefreshPending = false;
};

}  // namespace quillet
