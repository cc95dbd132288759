// The main window's keys: Space plays or pauses, Left and Right seek, Up and
// Down move the selection (the volume slider's thumb while it has focus), Del,
// Ctrl+O, Ctrl+S and Ctrl+Q, Ctrl+Left and Ctrl+Right for the previous and
// next entry, and the media keys Qt reports while the window has focus. The
// buttons that have a key show it in their hints.
//
// GUI thread only; made after the window's controls, gone before them.
#pragma once

#include <QObject>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

#include "key_hints.h"
#include "playback_controller.h"
#include "playlist_box.h"

namespace quillet {

// What the keys work: the window's controls and its player.
struct TKeyTargets {
    QWidget* Window;
    TPlaybackController* Player;
    TPlaylistBox* List;
    QScrollBar* Position;
    QSlider* Volume;
    QToolButton *Play, *Pause, *Stop, *Previous, *Next, *Remove, *Open, *Save;
};

class TWindowKeys : public QObject {
  public:
    TWindowKeys(const TKeyTargets& targets, TKeyHints& hints);

  private:
    void PlayOrPause();
    void MoveSelection(int delta);

    TKeyTargets F;
};

}  // namespace quillet
