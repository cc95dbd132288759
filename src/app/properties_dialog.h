// "Properties..." on the list (its context menu and Alt+Enter): a dialog of
// the file's facts and its editable tags, for the selected row or every row
// of its album at once. A field whose files differ shows "(differs)" and is
// left alone unless typed in; several values are written "A; B". What is
// saved shows at once in the rows, the caption, the media-player interface
// and the saved session (the model's entries are updated the way the entry
// reader updates them). The tag editor (tag_editor.h) does the writing, in a
// copy renamed over the file, so a playing file goes on playing from the
// file it opened.
//
// GUI thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback_controller.h"
#include "playlist_model.h"
#include "tag_editor.h"
#include "ui_text.h"

class QAction;
class QMenu;
class QPushButton;

namespace quillet {

// A text of the dialog by its key in the language file.
using TPropertiesTexts = std::function<std::string(const char* key)>;

// One file the dialog edits.
struct TPropertiesFile {
    std::string Path;
    TTagSnapshot Snapshot;
    std::string Measured;  // the measured loudness as shown; empty: not known
};

class TPropertiesDialog : public QDialog {
    Q_OBJECT
  public:
    // `album`: the other files of the first one's album, offered as "All N
    // files of this album" (none: no such choice).
    TPropertiesDialog(std::vector<TPropertiesFile> files, std::vector<TPropertiesFile> album,
                      const TPropertiesTexts& read, QWidget* parent = nullptr);

    // The files the changes are for (those given, or the album's as well).
    std::vector<const TPropertiesFile*> Targets() const;
    // What was typed in, and the cover's fate.
    TTagChanges Changes() const;

    // For the window's code and tests: the field editors, the album choice,
    // a new cover read from a picture file (false: not a picture).
    QLineEdit* Field(TTagKey key) const { return FEdits[static_cast<size_t>(key)]; }
    QCheckBox* WholeAlbum() const { return FWholeAlbum; }
    bool ReplaceCover(const std::string& pictureFile);
    void RemoveCover();
    QString FactsText() const;

    // Asks for a picture file (a file dialog unless a test sets it).
    std::function<std::string()> ChooseCoverFile;

  private:
    void Fill();
    void ShowCover();

    std::vector<TPropertiesFile> FFiles, FAlbum;
    const TPropertiesTexts FRead;
    std::array<QLineEdit*, kTagKeyCount> FEdits{};
    std::array<bool, kTagKeyCount> FTyped{};
    QCheckBox* FWholeAlbum = nullptr;
    QLabel* FFacts = nullptr;
    QLabel* FCover = nullptr;
    QPushButton* FReplace = nullptr;
    QPushButton* FRemove = nullptr;
    TTagChanges::TCover FCoverChange = TTagChanges::TCover::Keep;
    TPicture FNewCover;
    QString FDiffers;
};

// The command: the menu entry, the key, and what happens on OK.
class TPropertiesCommand : public QObject {
    Q_OBJECT
  public:
    // Adds the entry to `menu` and its key (Alt+Enter) to `list`; the
    // dialog opens over `window`. The list may go first.
    TPropertiesCommand(TPlaybackController& player, QMenu& menu, QWidget& window, QWidget& list,
                       std::unique_ptr<TTagEditor> editor = CreateFileTagEditor());

    void LoadTexts(const TTextReader& read);
    // Opens the dialog for the selected row (nothing without one). The
    // dialog runs modally unless OnDialog is set: then OnDialog gets it,
    // answers it, and its result is taken as the user's.
    void Open();
    // Writes the dialog's changes and updates the rows; the files not
    // written are named in one message.
    void Save(const TPropertiesDialog& dialog);

    std::function<void(const std::string&)> OnMessage;
    std::function<bool(TPropertiesDialog&)> OnDialog;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::string MeasuredText(const std::string& path);

    // The list whose selected row the command opens: the one shown.
    TPlaylistModel& ShownList() const;
    TPlaybackController& FPlayer;
    QWidget& FWindow;
    std::unique_ptr<TTagEditor> FEditor;
    QPointer<QAction> FAction;
    // The list as its events name it (a QPointer may not be read while the
    // list is being destroyed).
    const QObject* const FListObject;
    TPropertiesTexts FRead;
};

}  // namespace quillet
