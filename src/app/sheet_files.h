// CUE sheets in the window: what Open playlist and a drop are given for
// them, and what they found wrong. A sheet's FILE that names a missing file
// is looked for under the other extensions Quillet plays; the tracks or
// files left out are told in one message per open or drop, not one each.
// A drop that holds a sheet is read on a worker thread (a sheet's files are
// looked at on disk, a sound file for a sheet it carries) and appended, in
// the drop's order, when done.
//
// GUI thread, except the drop's reading.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <string>
#include <vector>

#include "PlayList.h"
#include "playlist_set.h"
#include "ui_text.h"

namespace quillet {

// What Open playlist passes to OpenPlaylistEntries.
TPlaylistOpen SheetOpenOptions();

class TSheetFiles : public QObject {
    Q_OBJECT
  public:
    // Sheets dropped go to the list `lists` shows when they are read.
    explicit TSheetFiles(TPlaylistSet& lists, QObject* parent = nullptr);
    // Waits for a drop being read; its entries are not added.
    ~TSheetFiles() override;

    // The texts from the language file: `read(key, builtIn)`.
    void LoadTexts(const TTextReader& read);
    // One message listing `problems` (the first few of many); none for none.
    void ShowProblems(const std::vector<std::string>& problems);
    // Takes a drop that holds a sheet (".cue", any letter case): its sheets'
    // tracks and its sound files (or the tracks of a sheet one carries) are
    // appended once read. False, and nothing done, for a drop without one.
    bool TakeDrop(const QStringList& files);

    // What is added goes to `list` from now on (the list shown).

  private:
    TPlaylistSet& FLists;
    QThreadPool FWorker;
    QString FProblemsText = QStringLiteral("Some entries were left out:");
    QString FMoreText = QStringLiteral("... and %1 more");
};

}  // namespace quillet
