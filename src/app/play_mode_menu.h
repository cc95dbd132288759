// The list's context menu: how the list plays (one of the repeat modes, and
// shuffle) and, in a submenu, the ReplayGain choice (one of the gains, one
// of the pre-amps). A menu on the list rather than a control: the window's
// controls keep the places they were drawn in. It drives the playback
// controller and shows its settings however they were changed (the menu,
// the bus, the saved session).
//
// GUI thread only.
#pragma once

#include <QAction>
#include <QMenu>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "playback_controller.h"
#include "ui_text.h"

namespace quillet {

class TPlayModeMenu : public QMenu, private TPlaybackListener {
    Q_OBJECT
  public:
    TPlayModeMenu(TPlaybackController& player, QWidget* parent);
    ~TPlayModeMenu() override;

    // The entries' texts from the language file: `read(key, builtIn)`.
    void LoadTexts(const TTextReader& read);

  private:
    void SettingsChanged() override { ShowChecks(); }
    void ShowChecks();

    TPlaybackController& FPlayer;
    std::vector<std::pair<TRepeat, QAction*>> FRepeat;
    QAction* FShuffle = nullptr;
    QMenu* FGain = nullptr;
    std::vector<std::pair<TReplayGainMode, QAction*>> FGains;
    std::vector<std::pair<double, QAction*>> FPreamps;
};

}  // namespace quillet
