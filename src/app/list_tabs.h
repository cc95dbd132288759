// The window's playlists as tabs above the list: a tab per list of the set
// (playlist_set.h), shown only while there is more than one, the playing
// list's tab marked. New list (Ctrl+T), Close list (Ctrl+W), next and
// previous list (Ctrl+PgDn, Ctrl+PgUp), rename by double-clicking a tab,
// reorder by dragging tabs; rows dragged from the list onto a tab move
// there (Ctrl copies). Undo and redo (Ctrl+Z, Ctrl+Shift+Z and the context
// menu) take back the shown list's edits and the set's own changes,
// whichever came last.
//
// GUI thread only.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTabBar>
#include <functional>
#include <string>

#include "file_dialogs.h"
#include "playlist_set.h"
#include "ui_text.h"

namespace quillet {

// The drag of list rows: the entries' ids, as text ("12,13").
inline constexpr char kEntriesMime[] = "application/x-quillet-entries";

class TListTabs : public QObject, private TPlaylistSetListener {
    Q_OBJECT
  public:
    // The bar is a child of `parent`; the commands go on `window` (keys) and
    // at the end of `menu`. `relayout` is called when the bar shows or hides.
    TListTabs(TPlaylistSet& lists, QWidget& parent, QWidget& window, QMenu& menu,
              std::function<TDialogProvider&()> dialogs, std::function<void()> relayout);
    ~TListTabs() override;

    // Puts the bar over the top of `list`'s place, which gives up that
    // strip; nothing while the bar is hidden.
    void Place(QWidget& list);

    // The commands.
    void NewList();
    void CloseShown();
    void Step(int delta);
    void RenameTab(int index);
    void Undo();
    void Redo();
    // Moves (or, with `copy`, copies) entries to the list at `index`.
    void DropEntries(const std::vector<TEntryId>& ids, int index, bool copy);

    void LoadTexts(const TTextReader& read);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ListsChanged() override;
    void ShownChanged() override;
    void PlayingListChanged() override;
    // The tabs as the set is.
    void Refresh();

    TPlaylistSet& FLists;
    QWidget& FWindow;
    std::function<TDialogProvider&()> FDialogs;
    std::function<void()> FRelayout;
    QPointer<QTabBar> FBar;
    QPointer<QAction> FUndo, FRedo, FNew, FClose;
    bool FRefreshing = false;
    std::string FNewName = "Playlist";
    std::string FRenameCaption = "Rename list";
    std::string FRenamePrompt = "List name:";
};

}  // namespace quillet
