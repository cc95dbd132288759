// The main window's features beyond the controls it was drawn with, wired up
// here: the time and the caption of the track heard, the list's context
// menu, growing with the window, and the keys.
#include <QFontMetrics>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

#include "UMain.h"
#include "app_errors.h"
#include "device_menu.h"
#include "paths.h"
#include "play_mode_menu.h"
#include "time_display.h"
#include "version.h"
#include "window_geometry.h"
#include "window_parts.h"

namespace quillet {

namespace {

// Often enough for a seconds display that never lags by a whole second.
constexpr int kTickMs = 250;
// Between the time's text and the window's right edge, in pixels.
constexpr int kTimeMargin = 4;

// The window's title for a caption: the program's name after it.
QString Titled(const QString& caption) {
    return caption.isEmpty() ? QLatin1String(kProgramCaption)
                             : caption + QStringLiteral(" - ") + QLatin1String(kProgramCaption);
}

}  // namespace

void TFrmQuillet::CreateFeatures() {
    TWindowFeatures& f = *FFeatures;

    // Right of the transport buttons, above the end of the position bar, in
    // the About button's smaller type, clear of the window's edge: at the
    // design size "1:23 / 4:56" fits one line (the type a little condensed
    // where it would not), a longer time takes two.
    lblTime = new QLabel(cbMain);
    lblTime->setGeometry(197, 2, 56, 26);
    lblTime->setContentsMargins(0, 0, kTimeMargin, 0);
    QFont small = font();
    small.setPixelSize(10);
    small.setStretch(QFont::Unstretched);
    while (small.stretch() > QFont::SemiCondensed &&
           QFontMetrics(small).horizontalAdvance(QStringLiteral("0:00 / 0:00")) >
               lblTime->contentsRect().width())
        small.setStretch(small.stretch() - 3);
    lblTime->setFont(small);
    lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTime->setWordWrap(true);
    lblTime->setAccessibleName(QStringLiteral("Time"));

    // The list, the position bar and the volume slider take the room a
    // larger window gives; everything else keeps its distance to its edges.
    for (QWidget* w : {sbPlay, sbPause, sbStop, sbRewind, sbForward})
        f.Layout.Add(w, akLeft | akTop);
    f.Layout.Add(lblTime, akLeft | akTop | akRight);
    f.Layout.Add(sbSoundLength, akLeft | akTop | akRight);
    f.Layout.Add(lbPlaylist, akLeft | akTop | akRight | akBottom);
    f.Layout.Add(tbVolume, akTop | akRight | akBottom);
    for (QWidget* w : {sbAddFile, sbRemoveFile, sbPlaylistOpen, sbSavePlaylist, sbNewPlaylist})
        f.Layout.Add(w, akLeft | akBottom);
    f.Layout.Add(sbAbout, akRight | akBottom);

    f.Ticker.setInterval(kTickMs);
    connect(&f.Ticker, &QTimer::timeout, &f.Context, [this] { ShowPlayTime(); });

    pmPlayModes = new TPlayModeMenu(*FPlayer, this);
    auto* devices = new TDeviceMenu(*FPlayer, ConfigFolder(), pmPlayModes);
    devices->OnMessage = [this](const std::string& text) { Message(text); };
    pmPlayModes->addMenu(devices);
    f.Sound = new TSoundMenu(*FPlayer, ConfigFolder(), *pmPlayModes, this);
    f.Sound->OnMessage = [this](const std::string& text) { Message(text); };
    f.Art = std::make_unique<TArtView>(*FPlayer, cbMain, lblTime);
    f.Adder = std::make_unique<TAddMusic>(Lists, *this, *pmPlayModes,
                                          [this]() -> TDialogProvider& { return Dialogs(); });
    // The right button, the menu key and Shift+F10 alike.
    lbPlaylist->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbPlaylist, &QWidget::customContextMenuRequested, &f.Context, [this](const QPoint& at) {
        pmPlayModes->popup(lbPlaylist->viewport()->mapToGlobal(at));
    });
    f.Queue = std::make_unique<TQueueActions>(*FPlayer, *lbPlaylist, *pmPlayModes);
    // The list's own command letters (lbPlaylistKeyPress) and the queue's.
    f.Filter = std::make_unique<TListFilter>(*FPlayer, *lbPlaylist, *this, QStringLiteral("Aexq"));
    f.OpenUrl = std::make_unique<TOpenUrl>(*pmPlayModes, *this, *FPlayer, Lists,
                                           [this]() -> TDialogProvider& { return Dialogs(); });
    f.Properties = std::make_unique<TPropertiesCommand>(*FPlayer, *pmPlayModes, *this, *lbPlaylist);
    f.Properties->OnMessage = [this](const std::string& text) { Message(text); };
    f.Opener = std::make_unique<TPlaylistOpener>(Lists);
    f.Opener->OnProblems = [this](const std::vector<std::string>& problems) {
        FFeatures->Sheets.ShowProblems(problems);
    };
    f.Opener->OnError = [](std::exception_ptr error) { ShowException(error); };
    f.OpenInNewList = pmPlayModes->addAction(QStringLiteral("Open playlist in a new list..."));
    connect(f.OpenInNewList, &QAction::triggered, &f.Context,
            [this] { Guarded([&] { OpenPlaylistInNewList(); }); });
    f.Tabs = std::make_unique<TListTabs>(
        Lists, *cbMain, *this, *pmPlayModes, [this]() -> TDialogProvider& { return Dialogs(); },
        [this] { Relayout(size()); });
    f.Keys = std::make_unique<TWindowKeys>(TKeyTargets{.Window = this,
                                                       .Player = FPlayer.get(),
                                                       .List = lbPlaylist,
                                                       .Position = sbSoundLength,
                                                       .Volume = tbVolume,
                                                       .Play = sbPlay,
                                                       .Pause = sbPause,
                                                       .Stop = sbStop,
                                                       .Previous = sbRewind,
                                                       .Next = sbForward,
                                                       .Remove = sbRemoveFile,
                                                       .Open = sbPlaylistOpen,
                                                       .Save = sbSavePlaylist},
                                           f.KeyHints);
    ShowPlayTime();

    lbPlaylist->SetColumnWidths(LoadColumnWidths(ConfigFolder()));
    if (const std::optional<QRect> saved = LoadWindowGeometry(ConfigFolder())) {
        std::vector<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens.push_back(screen->availableGeometry());
        const QRect rect = FitWindowRect(*saved, DesignSize(), screens);
        resize(rect.size());
        move(rect.topLeft());
    }
}

void TFrmQuillet::LoadFeatureTexts(const TTextReader& read) {
    lblTime->setAccessibleName(QString::fromStdString(read("Time", "Time")));
    TWindowFeatures& f = *FFeatures;
    f.KeyHints.LoadTexts(read);
    static_cast<TPlayModeMenu*>(pmPlayModes)->LoadTexts(read);
    f.Queue->LoadTexts(read);
    f.Filter->LoadTexts(read);
    pmPlayModes->findChild<TDeviceMenu*>()->LoadTexts(read);
    f.Sound->LoadTexts(read);
    f.Adder->LoadTexts(read);
    f.OpenUrl->LoadTexts(read);
    f.Properties->LoadTexts(read);
    f.OpenInNewList->setText(
        QString::fromStdString(read("OpenInNewList", "Open playlist in a new list...")));
    f.Tabs->LoadTexts(read);
    f.Sheets.LoadTexts(read);
}

void TFrmQuillet::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    cbMain->setGeometry(rect());
    Relayout(event->size());
    lbPlaylist->SetColumnsShown(event->size().width() > DesignSize().width());
}

bool TFrmQuillet::Opening() const {
    return FFeatures->Opener->Busy();
}

void TFrmQuillet::Relayout(QSize size) {
    FFeatures->Layout.Apply(size);
    FFeatures->Art->Place(lbPlaylist);
    if (FFeatures->Tabs) FFeatures->Tabs->Place(*lbPlaylist);
}

void TFrmQuillet::ShownChanged() {
    TWindowFeatures& f = *FFeatures;
    TPlaylistModel& shown = PlaylistEntries();
    lbPlaylist->SetList(shown);
    f.Filter->SetList(shown);
}

void TFrmQuillet::PlayingListChanged() {
    FCaptionList->RemoveListener(this);
    FCaptionList = &FPlayer->List();
    FCaptionList->AddListener(this);
    ShowCaption();
}

void TFrmQuillet::RememberGeometry() {
    try {
        // A maximised window's own place is the one saved before.
        const bool own = !isMaximized() && !isFullScreen();
        SaveWindowPlace(ConfigFolder(), own ? std::optional(QRect(pos(), size())) : std::nullopt,
                        lbPlaylist->ColumnWidths());
    } catch (const std::exception&) {
        // Closing goes on: a window placed by the desktop next time is no loss
        // worth a message while the program ends.
    }
}

// --- What is heard

void TFrmQuillet::ShowPlayTime() {
    TWindowFeatures& f = *FFeatures;
    f.StreamTitles.Poll();  // with the time: a stream's progress never moves
    TPlayTime time = PlayTimeOf(FPlayer->PlayPoint());
    time.Live = IsUrl(FPlayer->HeardTrack().Path);
    const QString text = QString::fromStdString(FormatPlayTime(time));
    if (text == f.TimeText) return;
    f.TimeText = text;
    lblTime->setText(text);
    sbSoundLength->setToolTip(text);
}

QString TFrmQuillet::TimeText() const {
    return FFeatures->TimeText;
}

void TFrmQuillet::PlaybackChanged() {
    // The ticker runs only while a track plays: a stopped or paused player
    // does not wake up.
    if (FPlayer->Playing() && !FPlayer->PausedNow()) {
        FFeatures->Ticker.start();
    } else {
        FFeatures->Ticker.stop();
    }
    ShowPlayTime();
    ShowCaption();
}

void TFrmQuillet::PlayingChanged() {
    ShowCaption();
}

void TFrmQuillet::EntryChanged(int index) {
    // A renamed or retitled entry playing renames the window too.
    if (index >= 0 && index == FCaptionList->PlayingIndex()) ShowCaption();
}

void TFrmQuillet::ShowCaption() {
    QString& caption = FFeatures->Caption;
    if (const TEntry* entry = FCaptionList->Find(FCaptionList->PlayingId())) {
        std::string title = OneLine(entry->RowText);  // a stream's: the song on now
        if (title.empty()) title = OneLine(FileNamePart(entry->FilePath));
        caption = QString::fromStdString(title);
    } else if (!FPlayer->Playing()) {
        caption.clear();
    }  // else the entry playing left the list: its sound, and its caption, go on
    setWindowTitle(Titled(caption));
}

void TFrmQuillet::ShowFailureCaption(const std::string& error) {
    const QString why = QString::fromStdString(OneLine(error));
    if (!why.isEmpty()) setWindowTitle(Titled(why));
}

void TFrmQuillet::SettingsChanged() {
    // The volume set by other means (the bus, the saved session) moves the
    // slider, which sends the same value back: nothing more happens.
    if (tbVolume->value() != FPlayer->Volume()) tbVolume->setValue(FPlayer->Volume());
}

}  // namespace quillet
