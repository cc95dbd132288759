#include "UMain.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QUrl>

#include "UAbout.h"
#include "app_errors.h"
#include "ini.h"
#include "input_table.h"
#include "lang_config.h"
#include "paths.h"
#include "playlist_box.h"
#include "text.h"
#include "textfile.h"
#include "version.h"
#include "window_parts.h"

// The resources live in a static library: the linker keeps them only when
// something refers to them.
static void InitResources() {
    Q_INIT_RESOURCE(quillet);
}

namespace quillet {

const char* const kSoundFileFilter = SoundFileFilter().c_str();

namespace {

// A language value is read as into a 2048-byte buffer: 2047 characters.
constexpr size_t kLanguageValueBuffer = 2048;

// The desktop theme's icon where it has one, else our own drawing.
QIcon MediaIcon(const char* themeName, const char* ownIcon) {
    return QIcon::fromTheme(QLatin1String(themeName), QIcon(QLatin1String(ownIcon)));
}

QToolButton* ImageButton(QWidget* parent, int x, int y, const QIcon& icon, int iconSize) {
    auto* button = new QToolButton(parent);
    button->setGeometry(x, y, 26, 26);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(icon);
    button->setIconSize(QSize(iconSize, iconSize));
    return button;
}

// The local files of a drop, in its order; anything else is left out.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

}  // namespace

TFrmQuillet::TFrmQuillet(const std::string& programFolder, std::shared_ptr<SoundSystem> sound)
    : Lists("Playlist"),
      FProgramFolder(programFolder.empty() ? quillet::ProgramFolder() : programFolder),
      FDialogs(MakeQtDialogs()),
      FPlayer(std::make_unique<TPlaybackController>(Lists, std::move(sound))),
      FFeatures(std::make_unique<TWindowFeatures>(
          DesignSize(), *FPlayer,
          [this](QWidget* control, const QString& hint) { SetHint(control, hint); })) {
    if (FProgramFolder.empty() || FProgramFolder.back() != '/') FProgramFolder += '/';
    audOut = &FPlayer->Output();
    InitResources();
    CreateControls();
    FCaptionList = &FPlayer->List();
    FCaptionList->AddListener(this);
    Lists.AddListener(this);
    FPlayer->AddListener(this);
    ConnectHandlers();
    CreateFeatures();
    ApplyTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
    FormCreate();
}

TFrmQuillet::~TFrmQuillet() {
    FPlayer->RemoveListener(this);
    Lists.RemoveListener(this);
    FCaptionList->RemoveListener(this);
    // The list box shows the playlist and the mode menu listens to the
    // player, both of which go before the window's children do.
    delete lbPlaylist;
    delete pmPlayModes;
}

void TFrmQuillet::CreateControls() {
    setWindowTitle(QLatin1String(kProgramCaption));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    // The client area of a 263 x 261 window with the frame the layout was
    // drawn for; the window may grow from there, never shrink below it.
    setMinimumSize(DesignSize());
    resize(DesignSize());

    cbMain = new QWidget(this);
    cbMain->setObjectName(QStringLiteral("cbMain"));
    cbMain->setGeometry(0, 0, 255, 234);

    sbPlay = ImageButton(cbMain, 11, 2, MediaIcon("media-playback-start", ":/icons/play.svg"), 16);
    sbPause =
        ImageButton(cbMain, 50, 2, MediaIcon("media-playback-pause", ":/icons/pause.svg"), 16);
    sbStop = ImageButton(cbMain, 89, 2, MediaIcon("media-playback-stop", ":/icons/stop.svg"), 16);
    sbRewind =
        ImageButton(cbMain, 130, 2, MediaIcon("media-skip-backward", ":/icons/previous.svg"), 16);
    sbForward =
        ImageButton(cbMain, 169, 2, MediaIcon("media-skip-forward", ":/icons/next.svg"), 16);

    sbSoundLength = new QScrollBar(Qt::Horizontal, cbMain);
    sbSoundLength->setGeometry(11, 32, 198, 16);
    sbSoundLength->setRange(0, 100);
    sbSoundLength->setSingleStep(1);
    // Qt's page step is also the thumb's length: 1 keeps the thumb minimal.
    sbSoundLength->setPageStep(1);
    sbSoundLength->setValue(0);
    sbSoundLength->setFocusPolicy(Qt::StrongFocus);
    sbSoundLength->setAccessibleName(QStringLiteral("Position"));

    lbPlaylist = new TPlaylistBox(PlaylistEntries(), cbMain);
    lbPlaylist->setGeometry(11, 52, 198, 146);
    lbPlaylist->setFrameShape(QFrame::NoFrame);
    lbPlaylist->ViewModel().SetFont(font);
    lbPlaylist->setFocusPolicy(Qt::StrongFocus);
    lbPlaylist->setAccessibleName(QStringLiteral("Playlist"));
    lbPlaylist->installEventFilter(this);

    tbVolume = new QSlider(Qt::Vertical, cbMain);
    tbVolume->setGeometry(222, 32, 31, 166);
    tbVolume->setRange(0, 10000);
    // 0 (full volume) at the top; up-keys and the wheel turning up move the
    // thumb up, towards full volume.
    tbVolume->setInvertedAppearance(true);
    tbVolume->setInvertedControls(true);
    tbVolume->setValue(0);
    tbVolume->setSingleStep(2);
    tbVolume->setPageStep(1000);
    tbVolume->setTickPosition(QSlider::TicksBothSides);
    tbVolume->setTickInterval(10000);  // the two ends only
    tbVolume->setFocusPolicy(Qt::StrongFocus);

    sbAddFile = ImageButton(cbMain, 11, 202, MediaIcon("list-add", ":/icons/add.svg"), 24);
    sbRemoveFile = ImageButton(cbMain, 50, 202, MediaIcon("list-remove", ":/icons/remove.svg"), 24);
    sbPlaylistOpen =
        ImageButton(cbMain, 89, 202, MediaIcon("document-open", ":/icons/open.svg"), 24);
    sbSavePlaylist =
        ImageButton(cbMain, 128, 202, MediaIcon("document-save", ":/icons/save.svg"), 24);
    sbNewPlaylist = ImageButton(cbMain, 167, 202, MediaIcon("document-new", ":/icons/new.svg"), 24);

    sbAbout = new QToolButton(cbMain);
    sbAbout->setGeometry(206, 202, 47, 26);
    sbAbout->setAutoRaise(true);
    sbAbout->setFocusPolicy(Qt::NoFocus);
    sbAbout->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont aboutFont = font;
    aboutFont.setPixelSize(10);
    sbAbout->setFont(aboutFont);
    sbAbout->setText(QStringLiteral("About"));
    sbAbout->setToolTip(QStringLiteral("About"));
    sbAbout->setAccessibleName(QStringLiteral("About"));

    // Titles and the sound-file filter come with the texts (ApplyTexts).
    // Every kind read first, as the Add dialog's "Audio files".
    odOpenPlaylist.Filter = QStringLiteral(
        "Playlists|*.m3u;*.m3u8;*.pls;*.asx;*.bsl;*.mpcpl;*.lap;*.cue|"
        "M3U Playlist|*.m3u|BSPlayer Playlist|*.bsl|Media Player Classic|*.mpcpl|"
        "Light Alloy Playlist|*.lap|PLS Playlist|*.pls|Windows Media ASX Playlist|*.asx|"
        "CUE Sheet|*.cue");
    sdSavePlaylist.Filter = QStringLiteral("PLS Playlist|*.pls|M3U Playlist|*.m3u");

    setTabOrder(lbPlaylist, sbSoundLength);
    setTabOrder(sbSoundLength, tbVolume);
    lbPlaylist->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TFrmQuillet::SetHint(QWidget* control, const QString& hint) {
    const QString shown = FFeatures->KeyHints.WithKey(control, hint);
    control->setToolTip(shown);
    // Screen readers announce the same text the mouse user sees.
    control->setAccessibleName(shown);
}

void TFrmQuillet::ConnectHandlers() {
    auto onClick = [this](QToolButton* button, void (TFrmQuillet::*handler)()) {
        connect(button, &QToolButton::clicked, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    onClick(sbPlay, &TFrmQuillet::sbPlayClick);
    onClick(sbPause, &TFrmQuillet::sbPauseClick);
    onClick(sbStop, &TFrmQuillet::sbStopClick);
    onClick(sbRewind, &TFrmQuillet::sbRewindClick);
    onClick(sbForward, &TFrmQuillet::sbForwardClick);
    onClick(sbAbout, &TFrmQuillet::sbAboutClick);
    onClick(sbAddFile, &TFrmQuillet::sbAddFileClick);
    onClick(sbRemoveFile, &TFrmQuillet::sbRemoveFileClick);
    onClick(sbPlaylistOpen, &TFrmQuillet::sbPlaylistOpenClick);
    onClick(sbSavePlaylist, &TFrmQuillet::sbSavePlaylistClick);
    onClick(sbNewPlaylist, &TFrmQuillet::sbNewPlaylistClick);

    // actionTriggered comes before the bar takes the proposed position, so
    // value() is still the current one: successive drags give successive deltas.
    connect(sbSoundLength, &QScrollBar::actionTriggered, this, [this](int action) {
        Guarded([&] {
            const int proposed = sbSoundLength->sliderPosition();
            sbSoundLengthScroll(ScrollCodeOf(action, sbSoundLength->isSliderDown(), proposed,
                                             sbSoundLength->value()),
                                proposed);
        });
    });
    connect(sbSoundLength, &QScrollBar::sliderReleased, this, [this] {
        Guarded([&] {
            sbSoundLengthScroll(scPosition, sbSoundLength->sliderPosition());
            sbSoundLengthScroll(scEndScroll, sbSoundLength->sliderPosition());
        });
    });
    connect(tbVolume, &QSlider::valueChanged, this, [this] { Guarded([&] { tbVolumeChange(); }); });
    connect(lbPlaylist, &TPlaylistBox::UserSelected, this,
            [this] { Guarded([&] { lbPlaylistClick(); }); });
    connect(lbPlaylist, &QAbstractItemView::doubleClicked, this,
            [this] { Guarded([&] { lbPlaylistDblClick(); }); });
}

void TFrmQuillet::FormCreate() {
    // Files dropped from a file manager land on the window itself: the
    // controls leave drops to their parent.
    setAcceptDrops(true);
    try {
        LoadLanguage(ReadLanguageChoice(ConfigFolder(), FProgramFolder));
    } catch (...) {
        // Shown once the loop runs: a box now would hold back the window, the
        // files given and the bus name. The window opens with built-in texts.
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { ShowException(error); },
            Qt::QueuedConnection);
    }
}

void TFrmQuillet::closeEvent(QCloseEvent* event) {
    Guarded([&] { FormClose(); });
    RememberGeometry();
    event->accept();
}

bool TFrmQuillet::eventFilter(QObject* watched, QEvent* event) {
    // Enter plays the selected row, so the list works without a mouse.
    if (watched == lbPlaylist && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Guarded([&] { sbPlayClick(); });
            return true;
        }
        // Not consumed: the list goes on to its own type-ahead with it.
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty()) Guarded([&] { lbPlaylistKeyPress(text); });
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmQuillet::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmQuillet::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmQuillet::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    Guarded([&] { WMDropFiles(files); });
}

// --- The view of the playlist

void TFrmQuillet::AppendEntry(const std::string& title, const std::string& filePath,
                              const std::string* rowText) {
    TPlaylistEntry entry;
    entry.Title = title;
    entry.FilePath = filePath;
    PlaylistEntries().Append({std::move(entry)}, {rowText ? *rowText : CutTitle(title)});
}

// --- Transport

void TFrmQuillet::sbPlayClick() {
    FPlayer->PlayShown();
}

void TFrmQuillet::sbPauseClick() {
    FPlayer->PauseButton();
}

void TFrmQuillet::sbStopClick() {
    FPlayer->Stop();
}

void TFrmQuillet::sbRewindClick() {
    FPlayer->SelectPrevious();
    lbPlaylist->repaint();
    FPlayer->Play();
}

void TFrmQuillet::sbForwardClick() {
    FPlayer->SelectNext();
    lbPlaylist->repaint();
    FPlayer->Play();
}

void TFrmQuillet::audOutProgress() {
    const int progress = FPlayer->Progress();
    sbSoundLength->setValue(progress < 0 ? 0 : progress);
    ShowPlayTime();
}

void TFrmQuillet::ProgressMoved() {
    audOutProgress();
}

void TFrmQuillet::Message(const std::string& text) {
    ShowMessage(QString::fromStdString(text));
}

void TFrmQuillet::LapFailed(const std::string& error) {
    ShowFailureCaption(error);
    ShowException(std::make_exception_ptr(EAuException(error)));
}

void TFrmQuillet::sbSoundLengthScroll(TScrollCode ScrollCode, int ScrollPos) {
    if (ScrollCode != scTrack) return;
    FPlayer->SeekPercent(ScrollPos - sbSoundLength->value());
}

void TFrmQuillet::tbVolumeChange() {
    FPlayer->SetVolume(tbVolume->value());
}

void TFrmQuillet::lbPlaylistClick() {
    const int index = ItemIndex();
    if (index >= 0) lbPlaylist->setToolTip(lbPlaylist->RowText(index));
}

void TFrmQuillet::lbPlaylistDblClick() {
    sbPlayClick();
}

void TFrmQuillet::FormClose() {
    FPlayer->Output().Stop(false);
}

// --- Editing

void TFrmQuillet::sbAddFileClick() {
    FFeatures->Adder->AddFiles(odOpenSoundFile);
}

void TFrmQuillet::WMDropFiles(const QStringList& Files) {
    if (FFeatures->Sheets.TakeDrop(Files)) return;  // read on a worker, appended when done
    std::vector<TPlaylistEntry> entries;
    std::vector<std::string> rows;
    for (const QString& file : Files) {
        const std::string path = file.toStdString();
        if (!IsDropExtension(path)) continue;
        TPlaylistEntry& entry = entries.emplace_back();
        entry.Title = std::string(FileNamePart(path));
        entry.FilePath = path;
        rows.push_back(entry.Title);
    }
    PlaylistEntries().Append(std::move(entries), std::move(rows));
}

void TFrmQuillet::sbRemoveFileClick() {
    // Afterwards none is selected.
    PlaylistEntries().Remove(ItemIndex());
}

void TFrmQuillet::lbPlaylistKeyPress(const QString& Key) {
    if (Key == QLatin1String("A")) {
        sbAddFileClick();
    } else if (ItemIndex() >= 0) {
        if (Key == QLatin1String("e")) RenameSelected();
        if (Key == QLatin1String("x")) sbRemoveFileClick();
    }
}

void TFrmQuillet::RenameSelected() {
    const int index = ItemIndex();
    if (index < 0) return;
    const std::string title = PlaylistEntries()[static_cast<size_t>(index)].Title;
    PlaylistEntries().Rename(
        index, FDialogs->InputQuery(this, RenameTitle, RenamePrompt, title).value_or(title));
}

void TFrmQuillet::sbNewPlaylistClick() {
    PlaylistEntries().Clear();
}

void TFrmQuillet::sbPlaylistOpenClick() {
    // The list is replaced only by a file chosen and read: Cancel, or a file
    // that cannot be read, leaves it as it was (and Undo brings back a list
    // replaced). The file is read in the background.
    const std::string file = FDialogs->OpenPlaylist(this, odOpenPlaylist);
    if (file.empty()) return;
    FFeatures->Opener->Open(file, SheetOpenOptions(), Lists.Id(Lists.ShownIndex()));
}

void TFrmQuillet::OpenPlaylistInNewList() {
    const std::string file = FDialogs->OpenPlaylist(this, odOpenPlaylist);
    if (file.empty()) return;
    FFeatures->Opener->OpenInNewList(file, SheetOpenOptions());
}

void TFrmQuillet::sbSavePlaylistClick() {
    const TSaveDialogResult choice = FDialogs->SavePlaylist(this, sdSavePlaylist);
    if (choice.FileName.empty()) return;
    const int pls = static_cast<int>(TPlaylistSaveFormat::PLS);
    const int m3u = static_cast<int>(TPlaylistSaveFormat::M3U);
    if (choice.FilterIndex != pls && choice.FilterIndex != m3u) return;
    SavePlaylist(choice.FileName, static_cast<TPlaylistSaveFormat>(choice.FilterIndex),
                 PlaylistEntries().Items());
}

// --- Language and About

void TFrmQuillet::LoadLanguage(const std::string& Name) {
    const TIniFile ini = TIniFile::Load(FProgramFolder + "lang/" + Name + ".ini");
    ApplyTexts([&ini](const char* key, const char* builtIn) {
        return ini.ReadString("lang", key, builtIn, kLanguageValueBuffer);
    });
}

void TFrmQuillet::ApplyTexts(const TTextReader& read) {
    LoadFeatureTexts(read);
    auto text = [&read](const char* key, const char* builtIn) {
        return QString::fromStdString(read(key, builtIn));
    };
    const struct {
        QWidget* Control;
        const char* Key;
        const char* BuiltIn;
    } hints[] = {{sbPlay, "Play", "Play"},
                 {sbPause, "Pause", "Pause"},
                 {sbStop, "Stop", "Stop"},
                 {sbRewind, "Rewind", "Previous"},
                 {sbForward, "Forward", "Next"},
                 {tbVolume, "Volume", "Volume"},
                 {sbAddFile, "AddFile", "Add file"},
                 {sbRemoveFile, "DelFile", "Remove file"},
                 {sbPlaylistOpen, "OpenPlaylist", "Open playlist"},
                 {sbSavePlaylist, "SavePlaylist", "Save playlist"},
                 {sbNewPlaylist, "NewPlayList", "New playlist"}};
    for (const auto& h : hints) SetHint(h.Control, text(h.Key, h.BuiltIn));
    sbAbout->setText(text("About", "About"));
    sbAbout->setAccessibleName(sbAbout->text());
    odOpenSoundFile.Title = text("DlgOpenS", "Open File");
    odOpenPlaylist.Title = text("DlgOpenP", "Open playlist:");
    sdSavePlaylist.Title = text("DlgSaveP", "Save playlist...");
    odOpenSoundFile.Filter = text("DlgOpenSFilter", kSoundFileFilter);
    LanguageCaption = Utf8Left(read("Language", "Language"), 200);
    RenameTitle = Utf8Left(read("NameChangeTitle", "Change name"), 100);
    RenamePrompt = read("NameChangePrompt", "Change visible sound name:");
}

void TFrmQuillet::sbAboutClick() {
    TFrmAbout about(*this);
    about.exec();
}

}  // namespace quillet
