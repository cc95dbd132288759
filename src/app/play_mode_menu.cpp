#include "play_mode_menu.h"

#include <QActionGroup>

#include "app_errors.h"

namespace quillet {

namespace {

// The entries: language key (also the entry's object name) and built-in text.
template <class T>
struct TChoice {
    T Value;
    TUiText Text;
};
constexpr TChoice<TRepeat> kRepeatChoices[] = {
    {TRepeat::List, {"RepeatList", "Repeat list"}},
    {TRepeat::One, {"RepeatOne", "Repeat track"}},
    {TRepeat::StopAfterTrack, {"StopAfterTrack", "Stop after this track"}},
    {TRepeat::StopAtEnd, {"StopAtEnd", "Stop at end of list"}},
};
constexpr TUiText kShuffleText = {"Shuffle", "Shuffle"};
constexpr TUiText kGainMenuText = {"ReplayGain", "ReplayGain"};
constexpr TChoice<TReplayGainMode> kGainChoices[] = {
    {TReplayGainMode::Off, {"GainOff", "Off"}},
    {TReplayGainMode::Track, {"GainTrack", "Track gain"}},
    {TReplayGainMode::Album, {"GainAlbum", "Album gain"}},
    {TReplayGainMode::Smart, {"GainSmart", "Smart"}},
};
// For files without gain tags, which are often louder than tagged ones.
constexpr double kPreamps[] = {-6, -3, 0, 3, 6};
constexpr TUiText kPreampText = {"PreAmp", "Pre-amp %1 dB"};

QString PreampText(const QString& format, double db) {
    return format.arg(db > 0 ? QStringLiteral("+%1").arg(db) : QString::number(db));
}

// A checkable entry of `menu`, one of `group`'s when there is one.
QAction* AddChoice(QMenu* menu, QActionGroup* group, const TUiText& text) {
    QAction* action = menu->addAction(QLatin1String(text.BuiltIn));
    action->setObjectName(QLatin1String(text.Key));
    action->setCheckable(true);
    if (group) group->addAction(action);
    return action;
}

}  // namespace

TPlayModeMenu::TPlayModeMenu(TPlaybackController& player, QWidget* parent)
    : QMenu(parent), FPlayer(player) {
    setObjectName(QStringLiteral("pmPlayModes"));
    auto* repeat = new QActionGroup(this);
    for (const auto& [mode, text] : kRepeatChoices) {
        QAction* action = AddChoice(this, repeat, text);
        connect(action, &QAction::triggered, this,
                [this, mode] { Guarded([&] { FPlayer.SetRepeat(mode); }); });
        FRepeat.emplace_back(mode, action);
    }
    addSeparator();
    FShuffle = AddChoice(this, nullptr, kShuffleText);
    connect(FShuffle, &QAction::triggered, this,
            [this](bool on) { Guarded([&] { FPlayer.SetShuffle(on); }); });
    FGain = addMenu(QLatin1String(kGainMenuText.BuiltIn));
    auto* gains = new QActionGroup(FGain);
    for (const auto& [mode, text] : kGainChoices) {
        QAction* action = AddChoice(FGain, gains, text);
        connect(action, &QAction::triggered, this, [this, mode] {
            Guarded([&] { FPlayer.SetReplayGain({mode, FPlayer.ReplayGain().PreampDb}); });
        });
        FGains.emplace_back(mode, action);
    }
    FGain->addSeparator();
    auto* preamps = new QActionGroup(FGain);
    for (const double db : kPreamps) {
        QAction* action = AddChoice(FGain, preamps, kPreampText);
        action->setObjectName(QStringLiteral("PreAmp%1").arg(db));
        connect(action, &QAction::triggered, this, [this, db] {
            Guarded([&] { FPlayer.SetReplayGain({FPlayer.ReplayGain().Mode, db}); });
        });
        FPreamps.emplace_back(db, action);
    }
    LoadTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
    FPlayer.AddListener(this);
    ShowChecks();
}

TPlayModeMenu::~TPlayModeMenu() {
    FPlayer.RemoveListener(this);
}

void TPlayModeMenu::LoadTexts(const TTextReader& read) {
    auto text = [&read](const TUiText& t) {
        return QString::fromStdString(read(t.Key, t.BuiltIn));
    };
    // The entries were made in the tables' order.
    for (size_t i = 0; i < FRepeat.size(); ++i)
        FRepeat[i].second->setText(text(kRepeatChoices[i].Text));
    FShuffle->setText(text(kShuffleText));
    FGain->setTitle(text(kGainMenuText));
    for (size_t i = 0; i < FGains.size(); ++i)
        FGains[i].second->setText(text(kGainChoices[i].Text));
    const QString preamp = text(kPreampText);
    for (const auto& [db, action] : FPreamps) action->setText(PreampText(preamp, db));
}

void TPlayModeMenu::ShowChecks() {
    for (const auto& [mode, action] : FRepeat) action->setChecked(mode == FPlayer.Repeat());
    FShuffle->setChecked(FPlayer.Shuffle());
    const TReplayGainSetting gain = FPlayer.ReplayGain();
    for (const auto& [mode, action] : FGains) action->setChecked(mode == gain.Mode);
    // A pre-amp set by hand in the state file checks none of the steps.
    for (const auto& [db, action] : FPreamps) action->setChecked(db == gain.PreampDb);
}

}  // namespace quillet
