// The main window: the playlist model, the transport commands and the
// language texts. Every handler runs on the GUI thread; the output's events
// reach it there through the dispatcher. Nothing here is locked.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ACS_DXAudio.h"
#include "PlayList.h"
#include "input_table.h"
#include "tag_titles.h"
#include "track_chain.h"

namespace quillet {

// Scroll notifications of the position bar, in the platform's order.
enum TScrollCode {
    scLineUp = 0,
    scLineDown = 1,
    scPageUp = 2,
    scPageDown = 3,
    scPosition = 4,
    scTrack = 5,
    scTop = 6,
    scBottom = 7,
    scEndScroll = 8
};

// Maps a QAbstractSlider action to the scroll code it stands for. A move while
// the thumb is held is tracking; any other move (the wheel) is a line step.
TScrollCode ScrollCodeOf(int sliderAction, bool thumbDown, int proposed, int current);

// A file dialog's texts, kept until the dialog is shown. The filter is in the
// program's "description|pattern|..." form.
struct TFileDialogSetup {
    QString Title;
    QString Filter;
    // The same filter as Qt's file dialogs take it ("description (pattern);;...").
    QString QtFilter() const;
};

// The program's built-in sound-file filter (replaced from the language file).
extern const char* const kSoundFileFilter;

// What the save dialog gives back: the name chosen or typed, and the filter
// selected, counted from 1 in the order the filter lists them.
struct TSaveDialogResult {
    std::string FileName;
    int FilterIndex = 0;
};

// The modal dialogs of the editing commands. The window shows Qt's own
// (MakeQtDialogs); tests put in their own so nothing blocks on a dialog.
// File names are UTF-8; an empty name means the dialog was cancelled.
class TDialogProvider {
  public:
    virtual ~TDialogProvider() = default;
    // One file, which need not exist.
    virtual std::string OpenSoundFile(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // One existing file in an existing folder.
    virtual std::string OpenPlaylist(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // Asks nothing when the file exists.
    virtual TSaveDialogResult SavePlaylist(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // The edited text after OK, nothing after Cancel.
    virtual std::optional<std::string> InputQuery(QWidget* parent, const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& initial) = 0;
};
std::unique_ptr<TDialogProvider> MakeQtDialogs();

// Extensions accepted from a drop, compared exactly (letter case included).
bool IsDropAccepted(std::string_view path);

struct TWindowFeatures;

class TFrmQuillet : public QWidget {
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
    QListWidget* lbPlaylist;
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

    // --- Audio components. audOut is declared last so it goes first.
    std::array<Owned<TAuFileIn>, kInputKindCount> FInputs;  // by TInputKind; null: no input yet
    TAuFileIn* Input(TInputKind kind) const { return FInputs[static_cast<size_t>(kind)].get(); }
    // The gapless chain's side of the list (outlives audOut).
    std::unique_ptr<TTrackChain> FChain;
    Owned<TDXAudioOut> audOut;

    // --- The playlist model: row i of lbPlaylist shows entry i.
    std::vector<TPlaylistEntry> PlaylistEntries;
    // Appends an entry (title cut to 150 characters) and a row showing
    // `rowText`, or the stored title when `rowText` is null.
    void AppendEntry(const std::string& title, const std::string& filePath,
                     const std::string* rowText = nullptr);
    // Appends entries whose titles are already cut, each row showing its
    // title; one insertion into the list however many there are.
    void AppendEntries(std::vector<TPlaylistEntry> entries);
    void ClearEntries();
    // Entries from outside the window (the command line, another start, the
    // desktop): appended; with `play`, the first of them is selected and played.
    void AddEntries(std::vector<TPlaylistEntry> entries, bool play);
    int Count() const { return lbPlaylist->count(); }
    // The selected row, -1 for none.
    int ItemIndex() const;
    // Selects a row; anything out of range clears the selection. Raises no
    // lbPlaylistClick (only the user's own selection changes do).
    void SetItemIndex(int index);

    // The Pause command's own toggle (not tied to the output's state).
    bool Paused = false;

    // --- Texts of the language file.
    std::string LanguageCaption = "Language";
    std::string RenameTitle = "Change name";
    std::string RenamePrompt = "Change visible sound name:";
    void LoadLanguage(const std::string& Name);
    const std::string& ProgramFolder() const { return FProgramFolder; }

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
    void audOutProgress(TComponent* Sender);
    void audOutDone(TComponent* Sender);
    void tbVolumeChange();
    void lbPlaylistClick();
    void lbPlaylistDblClick();
    void sbAboutClick();

    // --- Editing the playlist. None of them touches playback.
    void sbAddFileClick();
    void sbRemoveFileClick();
    void sbNewPlaylistClick();
    void sbPlaylistOpenClick();
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
    // The one place that moves the playing mark and the caption with it:
    // `Row` is heard now (out of range: a track plays whose row is gone).
    void NowPlaying(int Row);
    // Nothing plays: no mark, the plain caption, no time.
    void NowStopped();
    // The marked row, -1 for none.
    int PlayingRow() const;
    // Appends files as a drop does (each row showing its file name, no
    // extension check), then retitles each row from its file's tags as they
    // are read on another thread.
    void AddFiles(const std::vector<std::string>& Paths);
    // Moves the playing track by `Seconds` (back when negative), kept inside
    // the track; nothing while its time is unknown.
    void SeekBySeconds(int Seconds);
    // The time shown ("1:23 / 4:56").
    QString TimeText() const;
    // The size the controls were drawn for; the window is never smaller.
    static QSize DesignSize() { return {255, 234}; }

    // --- How the list plays (window_features.cpp): repeat and shuffle, from
    // the list's context menu, the bus or the saved state.
    QMenu* pmPlayModes;
    TRepeat RepeatMode() const;
    bool ShuffleMode() const;
    void SetRepeatMode(TRepeat Mode);
    void SetShuffleMode(bool On);
    // Which gain the output plays by, and the pre-amp: the same menu.
    TReplayGainSetting ReplayGainSetting() const;
    void SetReplayGainSetting(const TReplayGainSetting& Setting);

  signals:
    // The repeat mode or shuffle changed, by any of the ways above.
    void PlayModesChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void ConnectHandlers();
    void CreateAudio(std::shared_ptr<SoundSystem> sound);
    void SetHint(QWidget* control, const QString& hint);
    void RenameSelected();
    // The features' part of the constructor, of LoadLanguage and of closing.
    void CreateFeatures();
    void LoadFeatureTexts(const std::function<std::string(const char*, const char*)>& read);
    void RememberGeometry();
    void CreateShortcuts();
    void ShowPlayTime();
    void ShowPlayingCaption();
    void CreatePlayModes();
    void ShowPlayModes();
    void ReadTagTitles(int firstRow);
    void ApplyTagTitles(const std::vector<TTagTitleReader::TResult>& results);
    void MoveSelection(int delta);
    void PlayOrPause();
    // Remembers a control's hint and gives it as shown: with its key, if any.
    QString HintWithKey(QWidget* control, const QString& hint);

    std::string FProgramFolder;
    bool FSelectingInCode = false;
    bool FChainStep = false;  // Play runs as the end-of-track step, not for the user
    std::unique_ptr<TDialogProvider> FDialogs;
    std::unique_ptr<TWindowFeatures> FFeatures;  // last: its connections end first
};

}  // namespace quillet
