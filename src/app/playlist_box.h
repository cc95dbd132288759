// The window's list box: a view of the playlist model, one row per entry,
// single selection. At the window's design size it is one column without a
// header, as drawn; wider, it shows the artist, album and length columns
// too. The selection is the model's: the user's changes go to the model
// (and raise UserSelected), the model's own changes are shown without it.
//
// GUI thread only.
#pragma once

#include <QTreeView>
#include <memory>
#include <vector>

#include "playlist_model.h"
#include "playlist_view_model.h"

namespace quillet {

class TPlaylistBox : public QTreeView, private TPlaylistListener {
    Q_OBJECT
  public:
    TPlaylistBox(TPlaylistModel& list, QWidget* parent);
    ~TPlaylistBox() override;

    TPlaylistViewModel& ViewModel() const { return *FViewModel; }
    // The list shown; SetList shows another (the set's shown list changed).
    TPlaylistModel& List() const { return *FList; }
    void SetList(TPlaylistModel& list);
    // The row of an entry as shown (its text), "" out of range.
    QString RowText(int row) const;
    // Selects a row as the user's mouse or keys would (UserSelected follows).
    void SelectAsUser(int row);
    // Shows the columns beyond the first, with a header, or only the first.
    void SetColumnsShown(bool shown);
    // The columns' widths as last shown (the user's, or those given), one
    // per column; empty before the columns first showed. Widths given take
    // effect whenever the columns show; a wrong count or size is ignored.
    // The columns always fit the list's width (no horizontal scroll): the
    // title takes what the others leave, and only when it would be squeezed
    // out do the artist and album give way, in their proportions.
    std::vector<int> ColumnWidths() const { return FWidths; }
    void SetColumnWidths(const std::vector<int>& widths);

  signals:
    // The user changed the selection (mouse or keys); the model has it.
    void UserSelected();

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    void BeforeInsert(int first, int count) override;
    void AfterInsert(int first, int count) override;
    void BeforeRemove(int index) override;
    void AfterRemove(int index, TEntryId id) override;
    void BeforeReset() override;
    void AfterReset() override;
    void SelectionChanged() override;
    // Shows the model's selection in the view.
    void ShowSelection();
    // Gives the shown columns FWidths, or shares the list's width out.
    void ApplyWidths();
    // Fits the columns to the viewport's width (see ColumnWidths).
    void FitWidths();

    TPlaylistModel* FList;
    std::unique_ptr<TPlaylistViewModel> FViewModel;
    // Above 0 while the view's selection is changed from the model, or rows
    // come and go (Qt would move the selection to a neighbour meanwhile).
    int FInCode = 0;
    bool FColumnsShown = false;
    std::vector<int> FWidths;
    bool FApplying = false;  // the sections are resized from code
};

}  // namespace quillet
