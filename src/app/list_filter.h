// Finding a track: a filter field over the list's bottom edge, shown only
// while filtering. Typing a character in the list (one that is not a
// command key of the list), "/" or Ctrl+F opens it; the rows whose text,
// title, artist, album or file name contain every word typed stay visible.
// Enter plays the selected row when it is visible, else the first visible
// one; Up and Down step through the visible rows; Escape clears the filter
// and closes the field. Rows are hidden in the view only: the list's order
// and the model never change. A selected row the filter hides is selected no
// more while it is hidden (every command acts on what is shown), and is
// selected again when the field closes if no other row was chosen.
//
// GUI thread only.
#pragma once

#include <QHash>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "playback_controller.h"
#include "playlist_box.h"
#include "ui_text.h"

namespace quillet {

// --- The word rules (pure).
// `text` as searched: compatibility-decomposed (NFKD) without its combining
// marks, case-folded; so "É", "e" and "ｅ" are one letter.
QString FoldForSearch(const QString& text);
// The words of a filter, folded; blanks of any kind separate them, every
// other character (".*", "(", "\") is a plain letter. Each word once.
QStringList SearchWords(const QString& filter);
// Whether the folded `text` contains every word (true for no words).
bool ContainsAllWords(const QString& foldedText, const QStringList& words);

class TListFilter : public QObject, private TPlaylistListener {
    Q_OBJECT
  public:
    // `commandKeys` are the characters the list keeps for its own commands
    // ("x" removes...): they never open the field. The controller must
    // outlive this; the list may go first.
    TListFilter(TPlaybackController& player, TPlaylistBox& list, QWidget& window,
                const QString& commandKeys);
    ~TListFilter() override;

    // Opens the field (focused) with `text` typed into it.
    void Open(const QString& text = {});
    // Clears the filter, shows every row and hands the focus to the list.
    void Close();
    bool Filtering() const;
    QLineEdit* Field() const { return FField; }
    // Another list is shown: the field's words apply to its rows.
    void SetList(TPlaylistModel& list);
    void LoadTexts(const TTextReader& read);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void AfterInsert(int first, int count) override;
    void AfterRemove(int index, TEntryId id) override;
    void AfterReset() override;
    void EntryChanged(int index) override;

    // Clears the filter and hides the field, the focus left where it is.
    void Hide();
    // Shows or hides rows first..last by the current words.
    void Apply(int first, int last);
    // The folded text of a row, read once per entry until it changes.
    const QString& Searched(int row);
    // The next visible row from the selection in `step`'s direction.
    void Step(int step);
    void PlayFirst();
    void Place();
    // Up, Down, Enter and Escape while filtering, from the field or the list.
    bool FilterKey(QEvent* event);

    TPlaybackController& FPlayer;
    TPlaylistModel* FList;
    QPointer<TPlaylistBox> FBox;
    QPointer<QLineEdit> FField;
    // Who an event is for: compared as plain objects, since events still
    // come while either is being destroyed, when no QPointer may be read.
    const QObject* const FBoxObject;
    const QObject* const FViewportObject;
    const QObject* const FFieldObject;
    QString FCommandKeys;
    QStringList FWords;
    QHash<TEntryId, QString> FSearched;
    TEntryId FHiddenSelection = kNoEntry;  // the selection the filter hid
};

}  // namespace quillet
