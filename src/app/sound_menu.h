// The sound stage in the window: "Equalizer..." in the list's context menu
// opens a small dialog (on/off, the presets, ten band sliders and the
// preamp, saving and deleting the user's presets), and a "Crossfade"
// submenu chooses the crossfade (off, or 1 to 12 s) and the short fades on
// pause, stop and seek. Both act on the player at once (the stage ramps
// every change) and keep the settings in their own file (dsp_settings.h)
// when a choice is made and when the dialog closes; the settings kept are
// applied when this is made.
//
// GUI thread only.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dsp_settings.h"
#include "playback_controller.h"
#include "ui_text.h"

namespace quillet {

class TEqualizerDialog : public QDialog {
    Q_OBJECT
  public:
    // `changed` is called after every change the dialog makes to `settings`
    // (applied and kept by the caller).
    TEqualizerDialog(TDspSettings& settings, std::function<void(bool keep)> changed,
                     QWidget* parent);
    void LoadTexts(const TTextReader& read);
    // Shows `settings` again (after a change from elsewhere).
    void ShowSettings();
    // The caller goes: no more calls of `changed`.
    void Forget() {
        FChanged = [](bool) {};
    }

    QCheckBox* On = nullptr;
    QComboBox* Presets = nullptr;
    std::array<QSlider*, kEqBands> Bands{};
    QSlider* Preamp = nullptr;
    QLineEdit* PresetName = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Delete = nullptr;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    void FillPresets();
    void ChoosePreset(int index);
    void SlidersMoved();
    void SavePreset();
    void DeletePreset();
    QString BuiltInName(const std::string& name) const;

    TDspSettings& FSettings;
    std::function<void(bool)> FChanged;
    bool FShowing = false;  // the controls are being set from the settings
    std::array<QLabel*, kEqBands> FBandLabels{};
    QLabel* FPreampLabel = nullptr;
    QLabel* FPresetLabel = nullptr;
    QLabel* FNameLabel = nullptr;
    QLabel* FStatus = nullptr;  // a name refused
    TTextReader FRead = [](const char*, const char* builtIn) { return std::string(builtIn); };
};

class TSoundMenu : public QObject {
    Q_OBJECT
  public:
    // Adds the entries to `menu`; `folder` keeps the settings (empty:
    // nothing kept). The player must outlive this.
    TSoundMenu(TPlaybackController& player, std::string folder, QMenu& menu, QWidget* window);
    // Closes the dialog, keeping what it showed.
    ~TSoundMenu() override;
    void LoadTexts(const TTextReader& read);
    // Opens the equalizer dialog (the menu entry does).
    TEqualizerDialog& OpenEqualizer();
    // Reports a settings file that could not be written.
    std::function<void(const std::string&)> OnMessage;

  private:
    void Apply(bool keep);
    void Keep();
    void ShowChecks();

    TPlaybackController& FPlayer;
    std::string FFolder;
    TDspSettings FSettings;
    QPointer<QWidget> FWindow;
    QPointer<QAction> FEqualizer;
    QPointer<QMenu> FCrossfade;
    std::vector<std::pair<uint32_t, QAction*>> FSeconds;
    QAction* FFades = nullptr;
    QPointer<TEqualizerDialog> FDialog;
    TTextReader FRead = [](const char*, const char* builtIn) { return std::string(builtIn); };
};

}  // namespace quillet
