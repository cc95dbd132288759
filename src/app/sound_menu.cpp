#include "sound_menu.h"

#include <QActionGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "app_errors.h"

namespace quillet {

namespace {

constexpr TUiText kEqualizerText = {"Equalizer", "Equalizer..."};
constexpr TUiText kTitleText = {"EqTitle", "Equalizer"};
constexpr TUiText kOnText = {"EqOn", "Equalizer on"};
constexpr TUiText kPresetText = {"EqPreset", "Preset"};
constexpr TUiText kEqPreampText = {"EqPreamp", "Preamp"};
constexpr TUiText kHzText = {"EqHz", "%1 Hz"};
constexpr TUiText kKHzText = {"EqKHz", "%1 kHz"};
constexpr TUiText kNameText = {"EqPresetName", "Name of the preset:"};
constexpr TUiText kSaveText = {"EqSavePreset", "Save preset"};
constexpr TUiText kDeleteText = {"EqDeletePreset", "Delete preset"};
constexpr TUiText kRefusedText = {"EqPresetNameRefused", "A preset cannot have this name: %1"};
constexpr TUiText kCrossfadeText = {"Crossfade", "Crossfade"};
constexpr TUiText kCrossfadeOffText = {"CrossfadeOff", "Off"};
constexpr TUiText kSecondsText = {"CrossfadeSeconds", "%1 s"};
constexpr TUiText kFadesText = {"CrossfadeFades", "Fades on pause, stop and seek"};
// The built-in presets' names, in BuiltInEqPresets' order.
constexpr TUiText kPresetNames[] = {
    {"EqFlat", "Flat"},
    {"EqRock", "Rock"},
    {"EqPop", "Pop"},
    {"EqJazz", "Jazz"},
    {"EqClassical", "Classical"},
    {"EqVocal", "Vocal"},
    {"EqBassBoost", "Bass boost"},
    {"EqTrebleBoost", "Treble boost"},
    {"EqLoudness", "Loudness"},
};
// Off, then every whole second the stage takes.
constexpr uint32_t kCrossfadeChoices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// The texts as the language file gives them now: the reader given to
// LoadTexts is good only while it runs, and the dialog names presets later.
TTextReader Kept(const TTextReader& read) {
    std::map<std::string, std::string> texts;
    for (const TUiText& t : {kEqualizerText, kTitleText, kOnText, kPresetText, kEqPreampText,
                             kHzText, kKHzText, kNameText, kSaveText, kDeleteText, kRefusedText,
                             kCrossfadeText, kCrossfadeOffText, kSecondsText, kFadesText})
        texts[t.Key] = read(t.Key, t.BuiltIn);
    for (const TUiText& t : kPresetNames) texts[t.Key] = read(t.Key, t.BuiltIn);
    return [texts = std::move(texts)](const char* key, const char* builtIn) {
        const auto it = texts.find(key);
        return it != texts.end() ? it->second : std::string(builtIn);
    };
}

QString Read(const TTextReader& read, const TUiText& t) {
    return QString::fromStdString(read(t.Key, t.BuiltIn));
}

QString BandName(const TTextReader& read, size_t band) {
    const double hz = kEqCentres[band];
    return hz >= 1000 ? Read(read, kKHzText).arg(hz / 1000) : Read(read, kHzText).arg(hz);
}

QSlider* GainSlider(QWidget* parent) {
    auto* s = new QSlider(Qt::Vertical, parent);
    s->setRange(-static_cast<int>(kEqMaxDb), static_cast<int>(kEqMaxDb));
    s->setTickPosition(QSlider::TicksBothSides);
    s->setTickInterval(6);
    s->setPageStep(3);
    s->setMinimumHeight(120);  // room to set a band by the decibel
    return s;
}

}  // namespace

// --- The dialog

TEqualizerDialog::TEqualizerDialog(TDspSettings& settings, std::function<void(bool)> changed,
                                   QWidget* parent)
    : QDialog(parent), FSettings(settings), FChanged(std::move(changed)) {
    setObjectName(QStringLiteral("dlgEqualizer"));
    auto* grid = new QGridLayout(this);
    On = new QCheckBox(this);
    On->setObjectName(QStringLiteral("cbEqOn"));
    grid->addWidget(On, 0, 0, 1, 4);
    FPresetLabel = new QLabel(this);
    grid->addWidget(FPresetLabel, 0, 4, 1, 2, Qt::AlignRight);
    Presets = new QComboBox(this);
    Presets->setObjectName(QStringLiteral("cbEqPresets"));
    FPresetLabel->setBuddy(Presets);
    grid->addWidget(Presets, 0, 6, 1, 5);

    Preamp = GainSlider(this);
    Preamp->setObjectName(QStringLiteral("tbEqPreamp"));
    FPreampLabel = new QLabel(this);
    grid->addWidget(Preamp, 1, 0, Qt::AlignHCenter);
    grid->addWidget(FPreampLabel, 2, 0, Qt::AlignHCenter);
    for (size_t b = 0; b < kEqBands; ++b) {
        Bands[b] = GainSlider(this);
        Bands[b]->setObjectName(QStringLiteral("tbEqBand%1").arg(b + 1));
        FBandLabels[b] = new QLabel(this);
        const int column = static_cast<int>(b) + 1;
        grid->addWidget(Bands[b], 1, column, Qt::AlignHCenter);
        grid->addWidget(FBandLabels[b], 2, column, Qt::AlignHCenter);
        connect(Bands[b], &QSlider::valueChanged, this, [this] { SlidersMoved(); });
    }
    connect(Preamp, &QSlider::valueChanged, this, [this] { SlidersMoved(); });

    auto* row = new QHBoxLayout;
    FNameLabel = new QLabel(this);
    PresetName = new QLineEdit(this);
    PresetName->setObjectName(QStringLiteral("edEqPresetName"));
    FNameLabel->setBuddy(PresetName);
    Save = new QPushButton(this);
    Save->setObjectName(QStringLiteral("sbEqSave"));
    Delete = new QPushButton(this);
    Delete->setObjectName(QStringLiteral("sbEqDelete"));
    for (QWidget* w : std::initializer_list<QWidget*>{FNameLabel, PresetName, Save, Delete})
        row->addWidget(w);
    grid->addLayout(row, 3, 0, 1, 11);
    FStatus = new QLabel(this);
    FStatus->setObjectName(QStringLiteral("lblEqStatus"));
    grid->addWidget(FStatus, 4, 0, 1, 11);

    connect(On, &QCheckBox::toggled, this, [this](bool on) {
        if (FShowing) return;
        FSettings.Eq.On = on;
        FChanged(false);
    });
    connect(Presets, &QComboBox::activated, this, [this](int index) { ChoosePreset(index); });
    connect(Save, &QPushButton::clicked, this, [this] { SavePreset(); });
    connect(Delete, &QPushButton::clicked, this, [this] { DeletePreset(); });
    LoadTexts(FRead);
}

QString TEqualizerDialog::BuiltInName(const std::string& name) const {
    const std::vector<TEqPreset>& builtIn = BuiltInEqPresets();
    for (size_t i = 0; i < builtIn.size() && i < std::size(kPresetNames); ++i)
        if (builtIn[i].Name == name) return Read(FRead, kPresetNames[i]);
    return QString::fromStdString(name);
}

void TEqualizerDialog::LoadTexts(const TTextReader& given) {
    FRead = Kept(given);
    const TTextReader& read = FRead;
    setWindowTitle(Read(read, kTitleText));
    On->setText(Read(read, kOnText));
    On->setAccessibleName(Read(read, kOnText));
    FPresetLabel->setText(Read(read, kPresetText));
    Presets->setAccessibleName(Read(read, kPresetText));
    FPreampLabel->setText(Read(read, kEqPreampText));
    Preamp->setAccessibleName(Read(read, kEqPreampText));
    for (size_t b = 0; b < kEqBands; ++b) {
        FBandLabels[b]->setText(BandName(read, b));
        Bands[b]->setAccessibleName(BandName(read, b));
    }
    FNameLabel->setText(Read(read, kNameText));
    PresetName->setAccessibleName(Read(read, kNameText));
    Save->setText(Read(read, kSaveText));
    Save->setAccessibleName(Read(read, kSaveText));
    Delete->setText(Read(read, kDeleteText));
    Delete->setAccessibleName(Read(read, kDeleteText));
    ShowSettings();
}

void TEqualizerDialog::FillPresets() {
    Presets->clear();
    for (const TEqPreset& p : BuiltInEqPresets())
        Presets->addItem(BuiltInName(p.Name), QString::fromStdString(p.Name));
    for (const TEqPreset& p : FSettings.Presets)
        Presets->addItem(QString::fromStdString(p.Name), QString::fromStdString(p.Name));
    int current = -1;
    for (int i = 0; i < Presets->count(); ++i)
        if (SamePresetName(Presets->itemData(i).toString().toStdString(), FSettings.Preset))
            current = i;
    Presets->setCurrentIndex(current);
}

void TEqualizerDialog::ShowSettings() {
    FShowing = true;
    On->setChecked(FSettings.Eq.On);
    Preamp->setValue(static_cast<int>(std::lround(FSettings.Eq.PreampDb)));
    for (size_t b = 0; b < kEqBands; ++b)
        Bands[b]->setValue(static_cast<int>(std::lround(FSettings.Eq.Gains[b])));
    FillPresets();
    // Only the user's own presets can go.
    Delete->setEnabled(std::any_of(
        FSettings.Presets.begin(), FSettings.Presets.end(),
        [this](const TEqPreset& p) { return SamePresetName(p.Name, FSettings.Preset); }));
    FShowing = false;
}

void TEqualizerDialog::ChoosePreset(int index) {
    if (index < 0) return;
    const std::string name = Presets->itemData(index).toString().toStdString();
    const std::optional<TEqPreset> preset = FindEqPreset(name, FSettings.Presets);
    if (!preset) return;
    FSettings.Eq.Gains = preset->Gains;
    FSettings.Eq.PreampDb = preset->PreampDb;
    FSettings.Eq.On = true;  // choosing a shape means hearing it
    FSettings.Preset = preset->Name;
    ShowSettings();
    FChanged(true);
}

void TEqualizerDialog::SlidersMoved() {
    if (FShowing) return;
    FSettings.Eq.PreampDb = Preamp->value();
    for (size_t b = 0; b < kEqBands; ++b) FSettings.Eq.Gains[b] = Bands[b]->value();
    // Moved away from the preset: no preset is chosen any more.
    const std::optional<TEqPreset> preset = FindEqPreset(FSettings.Preset, FSettings.Presets);
    if (preset &&
        (preset->Gains != FSettings.Eq.Gains || preset->PreampDb != FSettings.Eq.PreampDb)) {
        FSettings.Preset.clear();
        Presets->setCurrentIndex(-1);
        Delete->setEnabled(false);
    }
    FChanged(false);
}

void TEqualizerDialog::SavePreset() {
    const std::string name = PresetName->text().trimmed().toStdString();
    const TEqPreset preset{name, FSettings.Eq.PreampDb, FSettings.Eq.Gains};
    if (!KeepPreset(FSettings, preset)) {
        FStatus->setText(Read(FRead, kRefusedText).arg(QString::fromStdString(name)));
        return;
    }
    FStatus->clear();
    FSettings.Preset = name;
    PresetName->clear();
    ShowSettings();
    FChanged(true);
}

void TEqualizerDialog::DeletePreset() {
    if (!DropPreset(FSettings, FSettings.Preset)) return;
    FSettings.Preset.clear();
    ShowSettings();
    FChanged(true);
}

void TEqualizerDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    FChanged(true);  // the sliders' last place is kept
}

// --- The menu

TSoundMenu::TSoundMenu(TPlaybackController& player, std::string folder, QMenu& menu,
                       QWidget* window)
    : QObject(&menu),
      FPlayer(player),
      FFolder(std::move(folder)),
      FSettings(LoadDspSettings(FFolder)),
      FWindow(window) {
    FEqualizer = menu.addAction(QLatin1String(kEqualizerText.BuiltIn));
    FEqualizer->setObjectName(QLatin1String(kEqualizerText.Key));
    connect(FEqualizer, &QAction::triggered, this, [this] { Guarded([&] { OpenEqualizer(); }); });
    FCrossfade = menu.addMenu(QLatin1String(kCrossfadeText.BuiltIn));
    FCrossfade->setObjectName(QLatin1String(kCrossfadeText.Key));
    auto* group = new QActionGroup(FCrossfade);
    for (const uint32_t seconds : kCrossfadeChoices) {
        QAction* a = FCrossfade->addAction(QString());
        a->setObjectName(QStringLiteral("Crossfade%1").arg(seconds));
        a->setCheckable(true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, seconds] {
            FSettings.Crossfade.Seconds = seconds;
            Apply(true);
        });
        FSeconds.emplace_back(seconds, a);
    }
    FCrossfade->addSeparator();
    FFades = FCrossfade->addAction(QString());
    FFades->setObjectName(QLatin1String(kFadesText.Key));
    FFades->setCheckable(true);
    connect(FFades, &QAction::triggered, this, [this](bool on) {
        FSettings.Crossfade.Fades = on;
        Apply(true);
    });
    LoadTexts(FRead);
    Apply(false);
}

TSoundMenu::~TSoundMenu() {
    if (!FDialog) return;
    const bool shown = FDialog->isVisible();
    FDialog->Forget();
    delete FDialog;
    if (shown) Keep();
}

void TSoundMenu::LoadTexts(const TTextReader& given) {
    FRead = Kept(given);
    const TTextReader& read = FRead;
    if (FEqualizer) FEqualizer->setText(Read(read, kEqualizerText));
    if (!FCrossfade) return;
    FCrossfade->setTitle(Read(read, kCrossfadeText));
    for (const auto& [seconds, action] : FSeconds)
        action->setText(seconds == 0 ? Read(read, kCrossfadeOffText)
                                     : Read(read, kSecondsText).arg(seconds));
    FFades->setText(Read(read, kFadesText));
    if (FDialog) FDialog->LoadTexts(read);
    ShowChecks();
}

TEqualizerDialog& TSoundMenu::OpenEqualizer() {
    if (!FDialog) {
        FDialog = new TEqualizerDialog(
            FSettings, [this](bool keep) { Apply(keep); }, FWindow);
        FDialog->LoadTexts(FRead);
    }
    FDialog->ShowSettings();
    FDialog->show();
    FDialog->raise();
    FDialog->activateWindow();
    return *FDialog;
}

void TSoundMenu::Apply(bool keep) {
    FPlayer.Dsp().Equalizer().Set(FSettings.Eq);
    FPlayer.Dsp().Crossfade().Set(FSettings.Crossfade);
    ShowChecks();
    if (keep) Keep();
}

void TSoundMenu::Keep() {
    if (FFolder.empty()) return;
    try {
        SaveDspSettings(FFolder, FSettings);
    } catch (const std::exception& e) {
        if (OnMessage) OnMessage(e.what());
    }
}

void TSoundMenu::ShowChecks() {
    for (const auto& [seconds, action] : FSeconds)
        action->setChecked(seconds == FSettings.Crossfade.Seconds);
    if (FFades) FFades->setChecked(FSettings.Crossfade.Fades);
}

}  // namespace quillet
