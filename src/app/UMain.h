// The main window: the controls, the language texts and the handlers of the
// transport and editing commands. It is a view: the playlist is the model it
// owns (PlaylistEntries, shown by lbPlaylist through a Qt item model), and
// the handlers are thin calls into the playback controller, which owns the
// output (audOut) and decides what plays. Every handler runs on the GUI
// thread; the output's events reach the controller there through the
// dispatcher. Nothing here is locked.
#pragma once

#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UAbout.h"
#include "file_dialogs.h"
#include "playback_controller.h"
#include "playlist_box.h"
#include "playlist_model.h"
#include "playlist_set.h"
#include "scroll_codes.h"
#include "ui_text.h"

namespace quillet {

// The program's built-in sound-file filter (replaced from the language file).
extern const char* const kSoundFileFilter;

struct TWindowFeatures;

class TFrmQuillet : public QWidget,
                    public TLanguageHost,
                    private TPlaylistListener,
                    private TPlaylistSetListener,
                    private TPlaybackListener {
    Q_OBJECT
  public:
    // `programFolder` holds "lang/" and the installed "lang.cfg"; empty
    // means the folder of the running program. `sound` is the output's sound
    // platform; null means SDL2. Tests give their own of both.
    explicit TFrmQuillet(const std::string& programFolder = {},
                         std::shared_ptr<SoundSystem> sound = nullptr);
    ~TFrmQuillet() override;

    // --- Controls, all children of cbMain at fixed positions.
    QWidget* cbMain;
    QToolButton* sbPlay;
    QToolButton* sbPause;
    QToolButton* sbStop;
    QToolButton* sbRewind;
    QToolButton* sbForward;
    QScrollBar* sbSoundLength;
    TPlaylistBox* lbPlaylist;
    QSlider* tbVolume;
    QToolButton* sbAddFile;
    QToolButton* sbRemoveFile;
    QToolButton* sbPlaylistOpen;
    QToolButton* sbSavePlaylist;
    QToolButton* sbNewPlaylist;
    QToolButton* sbAbout;
    TFileDialogSetup odOpenSoundFile;
    TFileDialogSetup odOpenPlaylist;
    TFileDialogSetup sdSavePlaylist;

    // --- The playlists, the one shown (row i of lbPlaylist shows its entry
    // i) and their player.
    TPlaylistSet Lists;
    TPlaylistModel& PlaylistEntries() const { return Lists.Shown(); }
    TPlaybackController& Player() const { return *FPlayer; }
    // The controller's output.
    TDXAudioOut* audOut;
    int Count() const { return PlaylistEntries().Count(); }
    // The selected row, -1 for none.
    int ItemIndex() const { return PlaylistEntries().Selected(); }
    // Selects a row; anything out of range clears the selection. Raises no
    // lbPlaylistClick (only the user's own selection changes do).
    void SetItemIndex(int index) { PlaylistEntries().Select(index); }
    // The Pause command's own toggle (not tied to the output's state).
    bool Paused() const { return FPlayer->Paused(); }
    // Appends an entry (title cut to 150 characters) and a row showing
    // `rowText`, or the stored title when `rowText` is null.
    void AppendEntry(const std::string& title, const std::string& filePath,
                     const std::string* rowText = nullptr);

    // --- Texts of the language file.
    std::string LanguageCaption = "Language";
    std::string RenameTitle = "Change name";
    std::string RenamePrompt = "Change visible sound name:";
    void LoadLanguage(const std::string& Name) override;
    const std::string& ProgramFolder() const override { return FProgramFolder; }
    // TLanguageHost, for the About dialog.
    QWidget& HostWindow() override { return *this; }
    std::string LanguageLabel() const override { return LanguageCaption; }

    // --- Handlers. They raise; the connections route errors to the
    // application's default handler.
    void FormCreate();
    void FormClose();
    void sbPlayClick();
    void sbPauseClick();
    void sbStopClick();
    void sbRewindClick();
    void sbForwardClick();
    void sbSoundLengthScroll(TScrollCode ScrollCode, int ScrollPos);
    void audOutProgress();
    void tbVolumeChange();
    void lbPlaylistClick();
    void lbPlaylistDblClick();
    void sbAboutClick();

    // --- Editing the playlist. None of them touches playback.
    void sbAddFileClick();
    void sbRemoveFileClick();
    void sbNewPlaylistClick();
    void sbPlaylistOpenClick();
    // "Open playlist in a new list...": the file's entries in a list of
    // their own, named after the file.
    void OpenPlaylistInNewList();
    // An opened playlist is being read or its rows handed to the list.
    bool Opening() const;
    void sbSavePlaylistClick();
    // A character typed in the list; the list still uses it for type-ahead.
    void lbPlaylistKeyPress(const QString& Key);
    // Local files dropped on the window, in the drop's order.
    void WMDropFiles(const QStringList& Files);

    // The dialogs the commands show; the window starts with Qt's.
    void SetDialogs(std::unique_ptr<TDialogProvider> dialogs) { FDialogs = std::move(dialogs); }
    TDialogProvider& Dialogs() const { return *FDialogs; }

    // --- Beyond the controls the window was drawn with (window_features.cpp).
    // Elapsed and total time, right of the transport buttons.
    QLabel* lblTime;
    // The marked row (the entry heard), -1 for none.
    int PlayingRow() const { return PlaylistEntries().PlayingIndex(); }
    // The time shown ("1:23 / 4:56").
    QString TimeText() const;
    // The size the controls were drawn for; the window is never smaller.
    static QSize DesignSize() { return {255, 234}; }
    // The list's context menu: how the list plays, and the ReplayGain choice.
    QMenu* pmPlayModes;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // TPlaylistListener (the list played from): the entry playing, or its
    // new name, in the caption.
    void EntryChanged(int index) override;
    void PlayingChanged() override;
    // TPlaylistSetListener: the services follow the list shown, the caption
    // the list played from.
    void ShownChanged() override;
    void PlayingListChanged() override;
    // Lays the list, the art and the list's tabs out for a window of `size`.
    void Relayout(QSize size);
    // TPlaybackListener
    void PlaybackChanged() override;
    void ProgressMoved() override;
    void SettingsChanged() override;
    void Message(const std::string& text) override;
    void LapFailed(const std::string& error) override;

    // The texts of the language file (`read` gives each key's text).
    void ApplyTexts(const TTextReader& read);
    void CreateControls();
    void ConnectHandlers();
    void SetHint(QWidget* control, const QString& hint);
    void RenameSelected();
    // The features' part of the constructor and of LoadLanguage.
    void CreateFeatures();
    void LoadFeatureTexts(const TTextReader& read);
    void RememberGeometry();
    void ShowPlayTime();
    void ShowCaption();
    // Playback stopped on `error`: the caption says so until the next start.
    void ShowFailureCaption(const std::string& error);

    std::string FProgramFolder;
    std::unique_ptr<TDialogProvider> FDialogs;
    std::unique_ptr<TPlaybackController> FPlayer;
    TPlaylistModel* FCaptionList = nullptr;      // the list whose playing entry titles the window
    std::unique_ptr<TWindowFeatures> FFeatures;  // last: its connections end first
};

}  // namespace quillet
