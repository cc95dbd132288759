// The main window's keys: Space plays or pauses, Left and Right seek, Up and
// Down move the selection (the volume slider's thumb while it has focus), Del,
// Ctrl+O, Ctrl+S and Ctrl+Q, Ctrl+Left and Ctrl+Right for the previous and
// next entry, and the media keys Qt reports while the window has focus. The
// buttons that have a key show it in their hints.
//
// GUI thread only; made after the window's controls, gone before them.
#pragma once

#include <QObject>

#include "key_hints.h"

namespace quillet {

class TFrmQuillet;

class TWindowKeys : public QObject {
  public:
    TWindowKeys(TFrmQuillet& window, TKeyHints& hints);

  private:
    void PlayOrPause();
    void MoveSelection(int delta);

    TFrmQuillet& FWindow;
};

}  // namespace quillet
