// Adding music beyond a drop: the Add dialog (several files at once, every
// playable extension in its first filter, opening in the folder used last)
// and "Add folder..." in the list's context menu, walked as the command
// line walks folders (command_line.h) on a worker thread of its own, so a
// folder of any size never holds up the window. The folder used last is
// kept in section "add" of "state.ini".
//
// GUI thread, except the walks.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "file_dialogs.h"
#include "playlist_set.h"
#include "ui_text.h"

namespace quillet {

// The Add dialog's filter ("description|pattern|..."): `audioLabel` with
// every extension of the extension table first, then `filter` (the
// language's or the built-in one), then "All files" unless `filter` already
// has an entry matching every file.
QString AudioFileFilter(const QString& audioLabel, const QString& filter);

// Files appended in the order a file dialog shows them: by file name, as
// people sort (letter case aside, numbers by value).
void SortAsShown(std::vector<std::string>& files);

// The user's music folder as the desktop names it (XDG_MUSIC_DIR in
// "user-dirs.dirs" under `configHome`), if it exists; else `home`.
std::string MusicFolder(const std::string& configHome, const std::string& home);

class TAddMusic : public QObject {
    Q_OBJECT
  public:
    // Adds its entry at the end of `menu`; `dialogs` gives the dialogs at
    // the moment they are shown. The folder used last is kept in the
    // settings folder (ConfigFolder()).
    // What is added goes to the list `lists` shows at the time.
    TAddMusic(TPlaylistSet& lists, QWidget& window, QMenu& menu,
              std::function<TDialogProvider&()> dialogs);
    ~TAddMusic() override;

    // The Add command: the files chosen, appended in the order shown, each
    // row showing its file name.
    void AddFiles(const TFileDialogSetup& setup);
    // "Add folder...": a folder chosen, its playable files appended once
    // walked. A walk still running goes on; the next one follows it.
    void AddFolder();
    // The folder the dialogs open in: the one used last, else the music
    // folder, else home.
    QString StartFolder();

    void LoadTexts(const TTextReader& read);

    // What is added goes to `list` from now on (the list shown).

  private:
    void Remember(const std::string& folder);
    void AppendSoon(std::shared_ptr<std::vector<TPlaylistEntry>> entries, size_t from);

    TPlaylistSet& FLists;
    QWidget& FWindow;
    std::function<TDialogProvider&()> FDialogs;
    std::string FConfigFolder;
    QString FFolder;  // the folder used last; empty until known
    bool FFolderLoaded = false;
    QString FAudioLabel = QStringLiteral("Audio files");
    QString FFolderTitle = QStringLiteral("Add folder");
    QAction* FAction = nullptr;
    QThreadPool FWalks;
    std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace quillet
