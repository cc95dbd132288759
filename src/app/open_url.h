// "Open URL..." in the list's context menu, also Ctrl+L: asks for the
// address of a stream (http, https, icy, icyx), appends it to the list, and
// selects and plays it (what one opens is what one wants to hear); a
// file:// address adds and plays the file it names. Anything else is refused at
// once with a message, rather than left to fail when reached.
//
// GUI thread only.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QWidget>
#include <functional>
#include <string>

#include "file_dialogs.h"
#include "playback_controller.h"
#include "playlist_set.h"
#include "ui_text.h"

namespace quillet {

class TOpenUrl : public QObject {
    Q_OBJECT
  public:
    // The entry goes at the end of `menu`; the key works in all of `window`.
    // `dialogs` gives the window's dialogs at the time of asking.
    TOpenUrl(QMenu& menu, QWidget& window, TPlaybackController& player, TPlaylistSet& lists,
             std::function<TDialogProvider&()> dialogs);

    // The texts from the language file: `read(key, builtIn)`.
    void LoadTexts(const TTextReader& read);
    // Asks for an address, appends it and plays it.
    void Run();

    // What is added goes to `list` from now on (the list shown).

  private:
    QWidget& FWindow;
    TPlaybackController& FPlayer;
    TPlaylistSet& FLists;  // adds go to the list shown
    std::function<TDialogProvider&()> FDialogs;
    QAction* FAction;
    std::string FTitle = "Open URL";
    std::string FPrompt = "Address of a stream (http, https):";
    QString FRefused = QStringLiteral("Not an address Quillet plays: %1");
};

}  // namespace quillet
