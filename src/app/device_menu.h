// The "Output device" submenu of the list's context menu: "System default"
// (no device name reaches the sound system, so the sound server may move
// the stream and it follows the default) and the devices the sound system
// reports, the choice checked. A choice moves playback at once (the sink
// keeps the position); it is kept by name in the state file's own section
// and applied when the next session starts. A chosen device that goes away
// gives one message (OnMessage) when playback falls back to the default;
// the sink goes back to it by itself when it returns.
//
// The devices are listed afresh each time the menu opens, on a worker (the
// sound system may take a moment to answer): the menu shows the last list
// at once and the new one when it comes. The state file is read and written
// on the same worker.
//
// GUI thread only, but for the worker's jobs.
#pragma once

#include <QAction>
#include <QMenu>
#include <QThreadPool>
#include <functional>
#include <string>
#include <vector>

#include "playback_controller.h"
#include "ui_text.h"

namespace quillet {

inline constexpr char kOutputSection[] = "output";

// The device kept in `folder`'s state file (with a trailing "/"); "" for
// the system default or nothing kept. Never raises.
std::string LoadDeviceChoice(const std::string& folder);
// Keeps `name` there, other keys untouched. Raises EInOutError.
void SaveDeviceChoice(const std::string& folder, const std::string& name);

class TDeviceMenu : public QMenu, private TPlaybackListener {
    Q_OBJECT
  public:
    // The devices are the player's (its sink's, through the controller).
    // `stateFolder` holds the state file (empty: nothing is kept). The
    // choice kept there is applied as soon as it has been read.
    TDeviceMenu(TPlaybackController& player, std::string stateFolder, QWidget* parent);
    ~TDeviceMenu() override;

    // The entries' texts from the language file: `read(key, builtIn)`.
    void LoadTexts(const TTextReader& read);
    // Shown to the user once each time playback falls back to the default.
    std::function<void(const std::string& text)> OnMessage;

    // Lists the devices again (the menu does it when it opens).
    void Refresh();
    // The device names listed now, in the menu's order (tests).
    std::vector<std::string> Listed() const { return FNames; }
    // Chooses a device by name ("" the system default), as its entry does.
    void Choose(const std::string& name);
    // Waits for the worker's jobs (the window closes; tests).
    void Settle() { FWorker.waitForDone(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Rebuild();
    void ShowChecks();
    // TPlaybackListener
    void DeviceChanged() override;

    TPlaybackController& FPlayer;
    std::string FFolder;
    QAction* FDefault = nullptr;
    std::vector<std::string> FNames;  // the last list, without the default
    std::vector<QAction*> FDevices;   // one entry per name, then the chosen one if missing
    bool FChosenByUser = false;       // a choice made before the kept one was read wins
    bool FListing = false;            // a listing job is under way
    bool FListed = false;             // FNames holds a list (not just nothing yet)
    QString FMissingFormat = QStringLiteral("%1 (not available)");
    QString FFallBackFormat =
        QStringLiteral("The output device \"%1\" is not available; playing on the system default.");
    QThreadPool FWorker;  // last: its jobs end before the rest goes
};

}  // namespace quillet
