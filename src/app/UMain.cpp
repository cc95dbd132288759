#include "UMain.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QUrl>

#include "UAbout.h"
#include "app_errors.h"
#include "content_sniff.h"
#include "ini.h"
#include "lang_config.h"
#include "paths.h"
#include "text.h"
#include "textfile.h"
#include "window_features.h"

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

// Rows of the playlist are 13 pixels high, whatever the style would choose.
class TRowHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(13);
        return size;
    }
};

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

class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }

  private:
    bool& FFlag;
};

// The local files of a drop, in its order; anything else is left out.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

QString FileDialogName(const QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void SetUpFileDialog(QFileDialog& dialog, const TFileDialogSetup& setup) {
    dialog.setWindowTitle(setup.Title);
    dialog.setNameFilters(setup.QtFilter().split(QStringLiteral(";;")));
}

class TQtDialogs : public TDialogProvider {
  public:
    std::string OpenSoundFile(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name is taken even when no such file exists.
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted) return {};
        return FileDialogName(dialog).toStdString();
    }
    std::string OpenPlaylist(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted) return {};
        return FileDialogName(dialog).toStdString();
    }
    TSaveDialogResult SavePlaylist(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The filter picks the format and the command adds the extension.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted) return {};
        return {FileDialogName(dialog).toStdString(),
                static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1};
    }
    std::optional<std::string> InputQuery(QWidget* parent, const std::string& caption,
                                          const std::string& prompt,
                                          const std::string& initial) override {
        bool ok = false;
        const QString text = QInputDialog::getText(
            parent, QString::fromStdString(caption), QString::fromStdString(prompt),
            QLineEdit::Normal, QString::fromStdString(initial), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    }
};

}  // namespace

std::unique_ptr<TDialogProvider> MakeQtDialogs() {
    return std::make_unique<TQtDialogs>();
}

bool IsDropAccepted(std::string_view path) {
    return IsDropExtension(path);
}

TScrollCode ScrollCodeOf(int sliderAction, bool thumbDown, int proposed, int current) {
    switch (sliderAction) {
        case QAbstractSlider::SliderSingleStepAdd:
            return scLineDown;
        case QAbstractSlider::SliderSingleStepSub:
            return scLineUp;
        case QAbstractSlider::SliderPageStepAdd:
            return scPageDown;
        case QAbstractSlider::SliderPageStepSub:
            return scPageUp;
        case QAbstractSlider::SliderToMinimum:
            return scTop;
        case QAbstractSlider::SliderToMaximum:
            return scBottom;
        case QAbstractSlider::SliderMove:
            if (thumbDown) return scTrack;
            return proposed < current ? scLineUp : scLineDown;
        default:
            return scEndScroll;
    }
}

QString TFileDialogSetup::QtFilter() const {
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file (as where the form comes from); on Linux it
        // would hide the files without a dot.
        if (pattern.trimmed() == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        filters << parts[i].trimmed() + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

TFrmQuillet::TFrmQuillet(const std::string& programFolder, std::shared_ptr<SoundSystem> sound)
    : FProgramFolder(programFolder.empty() ? quillet::ProgramFolder() : programFolder),
      FDialogs(MakeQtDialogs()),
      FFeatures(std::make_unique<TWindowFeatures>(DesignSize())) {
    if (FProgramFolder.empty() || FProgramFolder.back() != '/') FProgramFolder += '/';
    InitResources();
    CreateControls();
    CreateAudio(std::move(sound));
    ConnectHandlers();
    CreateFeatures();
    FormCreate();
}

TFrmQuillet::~TFrmQuillet() {
    // The worker must be idle, and no event of it pending, before the
    // controls its handlers touch go away.
    try {
        audOut->SetOnDone({});
        audOut->SetOnProgress({});
        audOut->SetOnNeedNext({});
        audOut->SetOnTrackChange({});
        audOut->Stop(false);
    } catch (...) {
    }
}

void TFrmQuillet::CreateControls() {
    setWindowTitle(QStringLiteral("Quillet 0.6"));
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

    lbPlaylist = new QListWidget(cbMain);
    lbPlaylist->setGeometry(11, 52, 198, 146);
    lbPlaylist->setFrameShape(QFrame::NoFrame);
    lbPlaylist->setSelectionMode(QAbstractItemView::SingleSelection);
    lbPlaylist->setSortingEnabled(false);
    lbPlaylist->setUniformItemSizes(true);
    lbPlaylist->setItemDelegate(new TRowHeightDelegate(lbPlaylist));
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

    SetHint(sbPlay, QStringLiteral("Play"));
    SetHint(sbPause, QStringLiteral("Pause"));
    SetHint(sbStop, QStringLiteral("Stop"));
    SetHint(sbRewind, QStringLiteral("Previous"));
    SetHint(sbForward, QStringLiteral("Next"));
    SetHint(tbVolume, QStringLiteral("Volume"));
    SetHint(sbAddFile, QStringLiteral("Add file"));
    SetHint(sbRemoveFile, QStringLiteral("Remove file"));
    SetHint(sbPlaylistOpen, QStringLiteral("Open playlist"));
    SetHint(sbSavePlaylist, QStringLiteral("Save playlist"));
    SetHint(sbNewPlaylist, QStringLiteral("New playlist"));

    odOpenSoundFile = {QStringLiteral("Open file"), QString::fromLatin1(kSoundFileFilter)};
    odOpenPlaylist = {QStringLiteral("Open playlist:"),
                      QStringLiteral("M3U Playlist|*.m3u|BSPlayer Playlist|*.bsl|"
                                     "Media Player Classic|*.mpcpl|Light Alloy Playlist|*.lap|"
                                     "PLS Playlist|*.pls|Windows Media ASX Playlist|*.asx")};
    sdSavePlaylist = {QStringLiteral("Save playlist..."),
                      QStringLiteral("PLS Playlist|*.pls|M3U Playlist|*.m3u")};

    setTabOrder(lbPlaylist, sbSoundLength);
    setTabOrder(sbSoundLength, tbVolume);
    lbPlaylist->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TFrmQuillet::SetHint(QWidget* control, const QString& hint) {
    const QString shown = HintWithKey(control, hint);
    control->setToolTip(shown);
    // Screen readers announce the same text the mouse user sees.
    control->setAccessibleName(shown);
}

void TFrmQuillet::CreateAudio(std::shared_ptr<SoundSystem> sound) {
    for (size_t kind = 0; kind < kInputKindCount; ++kind)
        FInputs[kind] = Owned<TAuFileIn>(CreateInput(static_cast<TInputKind>(kind), nullptr));
    audOut =
        sound ? MakeOwned<TDXAudioOut>(nullptr, std::move(sound)) : MakeOwned<TDXAudioOut>(nullptr);
    audOut->SetDeviceNumber(0);
    audOut->SetFramesInBuffer(65536);
    audOut->SetPollingInterval(200);
    // MP3In when it exists; otherwise the first input there is, so Pause on
    // an idle output finds an input as it would with MP3In.
    TAuFileIn* initial = Input(TInputKind::ikMP3);
    for (size_t i = 0; initial == nullptr && i < FInputs.size(); ++i) initial = FInputs[i].get();
    audOut->SetInput(initial);
    audOut->SetOnDone([this](TComponent* Sender) { audOutDone(Sender); });
    audOut->SetOnProgress([this](TComponent* Sender) { audOutProgress(Sender); });

    FChain = std::make_unique<TTrackChain>(
        *audOut,
        TTrackChain::THost{[this] { return Count(); }, [this] { return ItemIndex(); },
                           [this] { return PlayingRow(); },
                           [this](int row) {
                               return row >= 0 && row < static_cast<int>(PlaylistEntries.size())
                                          ? PlaylistEntries[static_cast<size_t>(row)].FilePath
                                          : std::string();
                           },
                           [this](TInputKind kind) { return Input(kind); },
                           // What the end-of-track step does, now that the row is heard.
                           [this](int row) {
                               SetItemIndex(row);
                               lbPlaylist->repaint();
                               NowPlaying(row);
                           }});
    audOut->SetOnNeedNext([this](TComponent*) { FChain->NeedNext(); });
    audOut->SetOnTrackChange([this](TComponent*) { FChain->TrackChanged(); });
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
    connect(lbPlaylist, &QListWidget::itemSelectionChanged, this, [this] {
        if (!FSelectingInCode) Guarded([&] { lbPlaylistClick(); });
    });
    connect(lbPlaylist, &QListWidget::itemDoubleClicked, this,
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

// --- The playlist model

void TFrmQuillet::AppendEntry(const std::string& title, const std::string& filePath,
                              const std::string* rowText) {
    TPlaylistEntry entry;
    entry.Title = CutTitle(title);
    entry.FilePath = filePath;
    lbPlaylist->addItem(QString::fromStdString(rowText ? *rowText : entry.Title));
    PlaylistEntries.push_back(std::move(entry));
    FChain->ListChanged();
}

void TFrmQuillet::AppendEntries(std::vector<TPlaylistEntry> entries) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const TPlaylistEntry& entry : entries) rows << QString::fromStdString(entry.Title);
    lbPlaylist->addItems(rows);
    if (PlaylistEntries.empty()) {
        PlaylistEntries = std::move(entries);
    } else {
        PlaylistEntries.insert(PlaylistEntries.end(), std::make_move_iterator(entries.begin()),
                               std::make_move_iterator(entries.end()));
    }
    FChain->ListChanged();
}

void TFrmQuillet::AddEntries(std::vector<TPlaylistEntry> entries, bool play) {
    const int first = Count();
    const bool any = !entries.empty();
    AppendEntries(std::move(entries));
    // Rows still showing their file names get their tags' titles.
    ReadTagTitles(first);
    if (!play || !any) return;
    SetItemIndex(first);
    Guarded([&] { sbPlayClick(); });
}

void TFrmQuillet::ClearEntries() {
    lbPlaylist->clear();
    PlaylistEntries.clear();
    FChain->ListReplaced();
}

int TFrmQuillet::ItemIndex() const {
    const QList<QListWidgetItem*> selected = lbPlaylist->selectedItems();
    return selected.isEmpty() ? -1 : lbPlaylist->row(selected.first());
}

void TFrmQuillet::SetItemIndex(int index) {
    TFlagScope inCode(FSelectingInCode);
    // An invalid row clears both the selection and the current row.
    lbPlaylist->setCurrentRow(index >= 0 && index < Count() ? index : -1,
                              QItemSelectionModel::ClearAndSelect);
}

// --- Transport

void TFrmQuillet::sbPlayClick() {
    const int index = ItemIndex();
    if (index < 0 || index >= static_cast<int>(PlaylistEntries.size())) return;
    audOut->Stop(false);
    FChain->Starting(index, !FChainStep);
    NowStopped();
    const TPlaylistEntry& entry = PlaylistEntries[static_cast<size_t>(index)];
    // The extension's input, or the one the file's first bytes call for.
    const std::optional<TInputKind> kind = InputKindFor(entry.FilePath);
    TAuFileIn* input = kind ? Input(*kind) : nullptr;
    if (input == nullptr) {
        ShowMessage(QStringLiteral("Format not supported"));
        return;
    }
    input->SetFileName(entry.FilePath);
    audOut->SetInput(input);
    audOut->Start();
    NowPlaying(index);
}

void TFrmQuillet::sbPauseClick() {
    if (!Paused) {
        Paused = true;
        audOut->Pause();
    } else {
        Paused = false;
        audOut->Resume();
    }
}

void TFrmQuillet::sbStopClick() {
    audOut->Stop(false);
    NowStopped();
}

void TFrmQuillet::sbRewindClick() {
    // In the list's order, with no selection this asks for row -2: nothing
    // gets selected.
    SetItemIndex(FChain->Order().Previous(ItemIndex()));
    lbPlaylist->repaint();
    sbPlayClick();
}

void TFrmQuillet::sbForwardClick() {
    SetItemIndex(FChain->Order().Next(ItemIndex()));
    lbPlaylist->repaint();
    sbPlayClick();
}

void TFrmQuillet::audOutProgress(TComponent* /*Sender*/) {
    const int progress = audOut->Progress();
    sbSoundLength->setValue(progress < 0 ? 0 : progress);
    ShowPlayTime();
}

void TFrmQuillet::audOutDone(TComponent* /*Sender*/) {
    const TTrackChain::TRunEnd end = FChain->RunEnded();
    if (end.Failed) {
        // A whole lap without sound: say why once, and stop going round.
        NowStopped();
        if (const std::string error = audOut->LastError(); !error.empty())
            ShowException(std::make_exception_ptr(EAuException(error)));
        return;
    }
    if (end.Row < 0) {
        NowStopped();  // the listener asked to stop here
        return;
    }
    TFlagScope step(FChainStep);
    SetItemIndex(end.Row);
    lbPlaylist->repaint();
    sbPlayClick();
}

void TFrmQuillet::sbSoundLengthScroll(TScrollCode ScrollCode, int ScrollPos) {
    if (ScrollCode != scTrack) return;
    if (TAuInput* input = audOut->Input()) input->SeekPercent(ScrollPos - sbSoundLength->value());
}

void TFrmQuillet::tbVolumeChange() {
    audOut->SetVolume(-tbVolume->value());
}

void TFrmQuillet::lbPlaylistClick() {
    FChain->ListChanged();  // the row after the selection follows the one playing
    const int index = ItemIndex();
    if (index >= 0) lbPlaylist->setToolTip(lbPlaylist->item(index)->text());
}

void TFrmQuillet::lbPlaylistDblClick() {
    sbPlayClick();
}

void TFrmQuillet::FormClose() {
    audOut->Stop(false);
}

// --- Editing

void TFrmQuillet::sbAddFileClick() {
    const std::string path = FDialogs->OpenSoundFile(this, odOpenSoundFile);
    if (path.empty()) return;
    AppendEntry(std::string(FileNamePart(path)), path);
    ReadTagTitles(Count() - 1);
}

void TFrmQuillet::WMDropFiles(const QStringList& Files) {
    const int first = Count();
    for (const QString& file : Files) {
        const std::string path = file.toStdString();
        if (!IsDropAccepted(path)) continue;
        const std::string name(FileNamePart(path));
        AppendEntry(name, path, &name);
    }
    ReadTagTitles(first);
}

void TFrmQuillet::sbRemoveFileClick() {
    const int index = ItemIndex();
    if (index < 0 || index >= static_cast<int>(PlaylistEntries.size())) return;
    PlaylistEntries.erase(PlaylistEntries.begin() + index);
    {
        // Qt would move the selection to a neighbour; afterwards none is selected.
        TFlagScope inCode(FSelectingInCode);
        delete lbPlaylist->takeItem(index);
    }
    SetItemIndex(-1);
    FChain->RowRemoved(index);
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
    if (index < 0 || index >= static_cast<int>(PlaylistEntries.size())) return;
    TPlaylistEntry& entry = PlaylistEntries[static_cast<size_t>(index)];
    const std::string name =
        FDialogs->InputQuery(this, RenameTitle, RenamePrompt, entry.Title).value_or(entry.Title);
    entry.Title = CutTitle(name);
    lbPlaylist->item(index)->setText(QString::fromStdString(name));
}

void TFrmQuillet::sbNewPlaylistClick() {
    ClearEntries();
}

void TFrmQuillet::sbPlaylistOpenClick() {
    ClearEntries();
    const std::string file = FDialogs->OpenPlaylist(this, odOpenPlaylist);
    if (file.empty()) return;
    // Titles cut, paths resolved against the playlist's folder, entries
    // without a path left out (they name no file).
    std::vector<TPlaylistEntry> entries;
    if (!OpenPlaylistEntries(file, entries)) return;
    AppendEntries(std::move(entries));
}

void TFrmQuillet::sbSavePlaylistClick() {
    const TSaveDialogResult choice = FDialogs->SavePlaylist(this, sdSavePlaylist);
    if (choice.FileName.empty()) return;
    const int pls = static_cast<int>(TPlaylistSaveFormat::PLS);
    const int m3u = static_cast<int>(TPlaylistSaveFormat::M3U);
    if (choice.FilterIndex != pls && choice.FilterIndex != m3u) return;
    SavePlaylist(choice.FileName, static_cast<TPlaylistSaveFormat>(choice.FilterIndex),
                 PlaylistEntries);
}

// --- Language and About

void TFrmQuillet::LoadLanguage(const std::string& Name) {
    const TIniFile ini = TIniFile::Load(FProgramFolder + "lang/" + Name + ".ini");
    auto read = [&ini](const char* key, const char* builtIn) {
        return ini.ReadString("lang", key, builtIn, kLanguageValueBuffer);
    };
    LoadFeatureTexts(read);
    auto text = [&read](const char* key, const char* builtIn) {
        return QString::fromStdString(read(key, builtIn));
    };
    SetHint(sbPlay, text("Play", "Play"));
    SetHint(sbPause, text("Pause", "Pause"));
    SetHint(sbStop, text("Stop", "Stop"));
    SetHint(sbRewind, text("Rewind", "Previous"));
    SetHint(sbForward, text("Forward", "Next"));
    SetHint(tbVolume, text("Volume", "Volume"));
    SetHint(sbAddFile, text("AddFile", "Add file"));
    SetHint(sbRemoveFile, text("DelFile", "Remove file"));
    SetHint(sbPlaylistOpen, text("OpenPlaylist", "Open playlist"));
    SetHint(sbSavePlaylist, text("SavePlaylist", "Save playlist"));
    SetHint(sbNewPlaylist, text("NewPlayList", "New playlist"));
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
