// The main window's features beyond the controls it was drawn with. The
// window's own handlers call in here at a few points (Play, Stop, progress, Add,
// drop, the language, closing); everything else is wired up below.
#include <QActionGroup>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <algorithm>

#include "UMain.h"
#include "app_errors.h"
#include "paths.h"
#include "window_features.h"
#include "window_geometry.h"

namespace quillet {

namespace {

const char* const kCaption = "Quillet 0.6";
constexpr int kSeekSeconds = 5;
// Often enough for a seconds display that never lags by a whole second.
constexpr int kTickMs = 250;

// The play modes' menu entries: language key (also the entry's object name)
// and built-in text.
struct TModeText {
    const char* Key;
    const char* BuiltIn;
};
template <class T>
struct TChoice {
    T Value;
    TModeText Text;
};
constexpr TChoice<TRepeat> kRepeatChoices[] = {
    {TRepeat::List, {"RepeatList", "Repeat list"}},
    {TRepeat::One, {"RepeatOne", "Repeat track"}},
    {TRepeat::StopAfterTrack, {"StopAfterTrack", "Stop after this track"}},
    {TRepeat::StopAtEnd, {"StopAtEnd", "Stop at end of list"}},
};
constexpr TModeText kShuffleText = {"Shuffle", "Shuffle"};
constexpr TModeText kGainMenuText = {"ReplayGain", "ReplayGain"};
constexpr TChoice<TReplayGainMode> kGainChoices[] = {
    {TReplayGainMode::Off, {"GainOff", "Off"}},
    {TReplayGainMode::Track, {"GainTrack", "Track gain"}},
    {TReplayGainMode::Album, {"GainAlbum", "Album gain"}},
};
// For files without gain tags, which are often louder than tagged ones.
constexpr double kPreamps[] = {-6, -3, 0, 3, 6};
constexpr TModeText kPreampText = {"PreAmp", "Pre-amp %1 dB"};

QString PreampText(const QString& format, double db) {
    return format.arg(db > 0 ? QStringLiteral("+%1").arg(db) : QString::number(db));
}

// A checkable entry of `menu`, one of `group`'s when there is one.
QAction* AddChoice(QMenu* menu, QActionGroup* group, const QString& text, const QString& name) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    if (group) group->addAction(action);
    return action;
}

}  // namespace

void TFrmQuillet::CreateFeatures() {
    TWindowFeatures& f = *FFeatures;

    // Right of the transport buttons, above the end of the position bar, in
    // the About button's smaller type: at the design size "1:23 / 4:56" fits
    // one line, a longer time takes two.
    lblTime = new QLabel(cbMain);
    lblTime->setGeometry(197, 2, 56, 26);
    QFont small = font();
    small.setPixelSize(10);
    lblTime->setFont(small);
    lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTime->setWordWrap(true);
    lblTime->setAccessibleName(QStringLiteral("Time"));

    // The list and the position bar take the room a larger window gives;
    // everything else keeps its distance to the edges it sits on.
    for (QWidget* w : {sbPlay, sbPause, sbStop, sbRewind, sbForward})
        f.Layout.Add(w, akLeft | akTop);
    f.Layout.Add(lblTime, akLeft | akTop | akRight);
    f.Layout.Add(sbSoundLength, akLeft | akTop | akRight);
    f.Layout.Add(lbPlaylist, akLeft | akTop | akRight | akBottom);
    f.Layout.Add(tbVolume, akTop | akRight);
    for (QWidget* w : {sbAddFile, sbRemoveFile, sbPlaylistOpen, sbSavePlaylist, sbNewPlaylist})
        f.Layout.Add(w, akLeft | akBottom);
    f.Layout.Add(sbAbout, akRight | akBottom);

    f.Ticker.setInterval(kTickMs);
    connect(&f.Ticker, &QTimer::timeout, &f.Context, [this] { ShowPlayTime(); });
    connect(
        &f.TagReader, &TTagTitleReader::TitlesRead, &f.Context,
        [this](const std::vector<TTagTitleReader::TResult>& results) { ApplyTagTitles(results); });
    // A cleared or replaced list: nothing queued is wanted any more.
    connect(lbPlaylist->model(), &QAbstractItemModel::modelReset, &f.Context, [this] {
        FFeatures->PendingTitles.clear();
        FFeatures->TagReader.DropQueued();
    });
    // A renamed or retitled playing row renames the window too.
    connect(lbPlaylist, &QListWidget::itemChanged, &f.Context, [this](QListWidgetItem* item) {
        if (PlayingRow() >= 0 && lbPlaylist->row(item) == PlayingRow()) ShowPlayingCaption();
    });

    CreateShortcuts();
    CreatePlayModes();
    ShowPlayTime();

    if (const std::optional<QRect> saved = LoadWindowGeometry(ConfigFolder())) {
        std::vector<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens.push_back(screen->availableGeometry());
        const QRect rect = FitWindowRect(*saved, DesignSize(), screens);
        resize(rect.size());
        move(rect.topLeft());
    }
}

void TFrmQuillet::LoadFeatureTexts(
    const std::function<std::string(const char*, const char*)>& read) {
    lblTime->setAccessibleName(QString::fromStdString(read("Time", "Time")));
    // A format that would drop the hint or the key is not taken.
    TWindowFeatures& f = *FFeatures;
    const QString format = QString::fromStdString(read("KeyHint", "%1 (%2)"));
    const bool whole = format.contains(QLatin1String("%1")) && format.contains(QLatin1String("%2"));
    f.KeyHintFormat = whole ? format : QStringLiteral("%1 (%2)");
    f.SpaceName = QString::fromStdString(read("KeySpace", "Space"));
    f.DeleteName = QString::fromStdString(read("KeyDelete", "Del"));
    f.CtrlName = QString::fromStdString(read("KeyCtrl", "Ctrl"));
    auto text = [&read](const TModeText& t) {
        return QString::fromStdString(read(t.Key, t.BuiltIn));
    };
    // The entries were made in the tables' order.
    for (size_t i = 0; i < f.RepeatActions.size(); ++i)
        f.RepeatActions[i].second->setText(text(kRepeatChoices[i].Text));
    f.ShuffleAction->setText(text(kShuffleText));
    f.GainMenu->setTitle(text(kGainMenuText));
    for (size_t i = 0; i < f.GainActions.size(); ++i)
        f.GainActions[i].second->setText(text(kGainChoices[i].Text));
    f.PreampFormat = text(kPreampText);
    for (const auto& [db, action] : f.PreampActions)
        action->setText(PreampText(f.PreampFormat, db));
}

void TFrmQuillet::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    cbMain->setGeometry(rect());
    FFeatures->Layout.Apply(event->size());
}

void TFrmQuillet::RememberGeometry() {
    // A maximised window's own place is the one saved before.
    if (isMaximized() || isFullScreen()) return;
    try {
        SaveWindowGeometry(ConfigFolder(), QRect(pos(), size()));
    } catch (const std::exception&) {
        // Closing goes on: a window placed by the desktop next time is no loss
        // worth a message while the program ends.
    }
}

// --- Time

void TFrmQuillet::ShowPlayTime() {
    TWindowFeatures& f = *FFeatures;
    const QString text = QString::fromStdString(FormatPlayTime(PlayTimeOf(audOut->PlayPoint())));
    if (text == f.TimeText) return;
    f.TimeText = text;
    lblTime->setText(text);
    sbSoundLength->setToolTip(text);
}

QString TFrmQuillet::TimeText() const {
    return FFeatures->TimeText;
}

void TFrmQuillet::SeekBySeconds(int Seconds) {
    TAuInput* input = audOut->Input();
    if (input == nullptr || !audOut->Active()) return;
    // The position bar's own way there: the input's GoToSample.
    if (const std::optional<int64_t> target =
            SeekTarget(PlayTimeOf(audOut->PlayPoint()), Seconds)) {
        input->GoToSample(*target);
        ShowPlayTime();
    }
}

// --- What is playing

void TFrmQuillet::NowPlaying(int Row) {
    TWindowFeatures& f = *FFeatures;
    if (QListWidgetItem* old = lbPlaylist->item(PlayingRow())) old->setData(Qt::FontRole, {});
    f.Playing = true;
    f.PlayingIndex = QPersistentModelIndex(lbPlaylist->model()->index(Row, 0));
    if (QListWidgetItem* item = lbPlaylist->item(PlayingRow())) {
        QFont bold = lbPlaylist->font();
        bold.setBold(true);
        item->setFont(bold);
    }
    f.Ticker.start();
    ShowPlayTime();
    if (PlayingRow() >= 0) {
        ShowPlayingCaption();
    } else {
        setWindowTitle(QLatin1String(kCaption));
    }
}

void TFrmQuillet::NowStopped() {
    TWindowFeatures& f = *FFeatures;
    if (QListWidgetItem* old = lbPlaylist->item(PlayingRow())) old->setData(Qt::FontRole, {});
    f.Playing = false;
    f.PlayingIndex = QPersistentModelIndex();
    f.Ticker.stop();
    ShowPlayTime();
    setWindowTitle(QLatin1String(kCaption));
}

int TFrmQuillet::PlayingRow() const {
    const TWindowFeatures& f = *FFeatures;
    return f.Playing && f.PlayingIndex.isValid() ? f.PlayingIndex.row() : -1;
}

void TFrmQuillet::ShowPlayingCaption() {
    const int row = PlayingRow();
    if (row < 0 || row >= static_cast<int>(PlaylistEntries.size())) return;
    const TPlaylistEntry& entry = PlaylistEntries[static_cast<size_t>(row)];
    std::string title = OneLine(entry.Title);
    if (title.empty()) title = OneLine(FileNamePart(entry.FilePath));
    setWindowTitle(QString::fromStdString(title) + QStringLiteral(" - ") + QLatin1String(kCaption));
}

// --- How the list plays

void TFrmQuillet::CreatePlayModes() {
    TWindowFeatures& f = *FFeatures;
    // A menu on the list rather than a control: the window's controls keep
    // the places they were drawn in.
    pmPlayModes = new QMenu(this);
    pmPlayModes->setObjectName(QStringLiteral("pmPlayModes"));
    auto choice = [](QMenu* menu, QActionGroup* group, const TModeText& text) {
        return AddChoice(menu, group, QLatin1String(text.BuiltIn), QLatin1String(text.Key));
    };
    auto* group = new QActionGroup(pmPlayModes);
    for (const auto& [mode, text] : kRepeatChoices) {
        QAction* action = choice(pmPlayModes, group, text);
        connect(action, &QAction::triggered, &f.Context,
                [this, mode] { Guarded([&] { SetRepeatMode(mode); }); });
        f.RepeatActions.emplace_back(mode, action);
    }
    pmPlayModes->addSeparator();
    f.ShuffleAction = choice(pmPlayModes, nullptr, kShuffleText);
    connect(f.ShuffleAction, &QAction::triggered, &f.Context,
            [this](bool on) { Guarded([&] { SetShuffleMode(on); }); });
    f.GainMenu = pmPlayModes->addMenu(QLatin1String(kGainMenuText.BuiltIn));
    auto* gains = new QActionGroup(f.GainMenu);
    for (const auto& [mode, text] : kGainChoices) {
        QAction* action = choice(f.GainMenu, gains, text);
        connect(action, &QAction::triggered, &f.Context, [this, mode] {
            Guarded([&] { SetReplayGainSetting({mode, ReplayGainSetting().PreampDb}); });
        });
        f.GainActions.emplace_back(mode, action);
    }
    f.GainMenu->addSeparator();
    auto* preamps = new QActionGroup(f.GainMenu);
    for (const double db : kPreamps) {
        QAction* action = AddChoice(f.GainMenu, preamps, PreampText(f.PreampFormat, db),
                                    QStringLiteral("PreAmp%1").arg(db));
        connect(action, &QAction::triggered, &f.Context, [this, db] {
            Guarded([&] { SetReplayGainSetting({ReplayGainSetting().Mode, db}); });
        });
        f.PreampActions.emplace_back(db, action);
    }
    // The right button, the menu key and Shift+F10 alike.
    lbPlaylist->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbPlaylist, &QWidget::customContextMenuRequested, &f.Context, [this](const QPoint& at) {
        pmPlayModes->popup(lbPlaylist->viewport()->mapToGlobal(at));
    });
    ShowPlayModes();
}

void TFrmQuillet::ShowPlayModes() {
    const TWindowFeatures& f = *FFeatures;
    for (const auto& [mode, action] : f.RepeatActions) action->setChecked(mode == RepeatMode());
    f.ShuffleAction->setChecked(ShuffleMode());
    const TReplayGainSetting gain = ReplayGainSetting();
    for (const auto& [mode, action] : f.GainActions) action->setChecked(mode == gain.Mode);
    // A pre-amp set by hand in the state file checks none of the steps.
    for (const auto& [db, action] : f.PreampActions) action->setChecked(db == gain.PreampDb);
}

TReplayGainSetting TFrmQuillet::ReplayGainSetting() const {
    return audOut->ReplayGain();
}

void TFrmQuillet::SetReplayGainSetting(const TReplayGainSetting& Setting) {
    audOut->SetReplayGain(Setting);
    ShowPlayModes();
}

TRepeat TFrmQuillet::RepeatMode() const {
    return FChain->Order().Repeat();
}

bool TFrmQuillet::ShuffleMode() const {
    return FChain->Order().Shuffle();
}

void TFrmQuillet::SetRepeatMode(TRepeat Mode) {
    const bool changed = Mode != RepeatMode();
    FChain->Order().SetRepeat(Mode);
    ShowPlayModes();
    if (!changed) return;
    FChain->ListChanged();  // the track queued to follow may no longer be the one
    emit PlayModesChanged();
}

void TFrmQuillet::SetShuffleMode(bool On) {
    const bool changed = On != ShuffleMode();
    // The track playing counts as played in the new lap.
    FChain->Order().SetShuffle(On, PlayingRow());
    ShowPlayModes();
    if (!changed) return;
    FChain->ListChanged();
    emit PlayModesChanged();
}

// --- Titles from tags

void TFrmQuillet::AddFiles(const std::vector<std::string>& Paths) {
    const int first = Count();
    for (const std::string& path : Paths) {
        const std::string name(FileNamePart(path));
        AppendEntry(name, path, &name);
    }
    ReadTagTitles(first);
}

void TFrmQuillet::ReadTagTitles(int firstRow) {
    TWindowFeatures& f = *FFeatures;
    std::vector<TTagTitleReader::TJob> jobs;
    const int count = std::min(Count(), static_cast<int>(PlaylistEntries.size()));
    for (int row = std::max(firstRow, 0); row < count; ++row) {
        const std::string& path = PlaylistEntries[static_cast<size_t>(row)].FilePath;
        // A title a playlist gave stays as it is; only file names are replaced.
        if (lbPlaylist->item(row)->text().toStdString() != FileNamePart(path)) continue;
        const quint64 id = ++f.LastTitleId;
        f.PendingTitles.insert(id, {QPersistentModelIndex(lbPlaylist->model()->index(row, 0)),
                                    lbPlaylist->item(row)->text(), path});
        jobs.push_back({id, path});
    }
    f.TagReader.Enqueue(std::move(jobs));
}

void TFrmQuillet::ApplyTagTitles(const std::vector<TTagTitleReader::TResult>& results) {
    TWindowFeatures& f = *FFeatures;
    for (const TTagTitleReader::TResult& result : results) {
        const auto it = f.PendingTitles.constFind(result.Id);
        if (it == f.PendingTitles.cend()) continue;  // the list was cleared meanwhile
        const TWindowFeatures::TPendingTitle pending = *it;
        f.PendingTitles.erase(it);
        if (result.Title.empty() || !pending.Index.isValid()) continue;
        // A row renamed meanwhile keeps the user's name.
        const int row = pending.Index.row();
        QListWidgetItem* item = lbPlaylist->item(row);
        if (item == nullptr || row >= static_cast<int>(PlaylistEntries.size()) ||
            item->text() != pending.RowText)
            continue;
        TPlaylistEntry& entry = PlaylistEntries[static_cast<size_t>(row)];
        if (entry.FilePath != pending.Path) continue;
        entry.Title = CutTitle(result.Title);
        item->setText(QString::fromStdString(entry.Title));
    }
}

// --- Keys

void TFrmQuillet::CreateShortcuts() {
    TWindowFeatures& f = *FFeatures;
    auto add = [this, &f](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, &f.Context,
                [action = std::move(action)] { Guarded(action); });
    };
    const QKeySequence space(Qt::Key_Space), del(Qt::Key_Delete);
    const QKeySequence open(Qt::CTRL | Qt::Key_O), save(Qt::CTRL | Qt::Key_S);
    add(space, [this] { PlayOrPause(); });
    add(QKeySequence(Qt::Key_Left), [this] { SeekBySeconds(-kSeekSeconds); });
    add(QKeySequence(Qt::Key_Right), [this] { SeekBySeconds(kSeekSeconds); });
    add(QKeySequence(Qt::Key_Up), [this] { MoveSelection(-1); });
    add(QKeySequence(Qt::Key_Down), [this] { MoveSelection(1); });
    add(del, [this] { sbRemoveFile->click(); });
    add(open, [this] { sbPlaylistOpen->click(); });
    add(save, [this] { sbSavePlaylist->click(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

    f.HintKeys = {
        {sbPause, space}, {sbRemoveFile, del}, {sbPlaylistOpen, open}, {sbSavePlaylist, save}};
    const QHash<QWidget*, QString> hints = f.Hints;
    for (auto it = hints.cbegin(); it != hints.cend(); ++it) SetHint(it.key(), it.value());
}

QString TFrmQuillet::HintWithKey(QWidget* control, const QString& hint) {
    TWindowFeatures& f = *FFeatures;
    f.Hints.insert(control, hint);
    const auto key = f.HintKeys.constFind(control);
    if (key == f.HintKeys.cend()) return hint;
    const QKeyCombination combination = (*key)[0];
    QString name = combination.key() == Qt::Key_Space ? f.SpaceName
                   : combination.key() == Qt::Key_Delete
                       ? f.DeleteName
                       : QKeySequence(combination.key()).toString();
    if (combination.keyboardModifiers() & Qt::ControlModifier)
        name = f.CtrlName + QLatin1Char('+') + name;
    return f.KeyHintFormat.arg(hint, name);
}

void TFrmQuillet::PlayOrPause() {
    if (audOut->Active()) {
        sbPause->click();
    } else {
        sbPlay->click();
    }
}

void TFrmQuillet::MoveSelection(int delta) {
    // The volume slider keeps its own arrow keys.
    if (focusWidget() == tbVolume) {
        const bool towardsMinimum = (delta < 0) == tbVolume->invertedControls();
        tbVolume->triggerAction(towardsMinimum ? QAbstractSlider::SliderSingleStepSub
                                               : QAbstractSlider::SliderSingleStepAdd);
        return;
    }
    if (Count() == 0) return;
    const int index = ItemIndex();
    const int row =
        index < 0 ? (delta > 0 ? 0 : Count() - 1) : std::clamp(index + delta, 0, Count() - 1);
    // The user's own selection change, as the list's arrow keys would make it.
    lbPlaylist->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    lbPlaylist->scrollToItem(lbPlaylist->item(row));
}

}  // namespace quillet
