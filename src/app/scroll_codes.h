// The position bar's notifications as the window's handler takes them: the
// scroll codes of a scroll bar, which Qt reports as slider actions.
#pragma once

namespace quillet {

// Scroll notifications of the position bar, in the platform's order.
enum TScrollCode {
    scLineUp = 0,
    scLineDown = 1,
    scPageUp = 2,
    scPageDown = 3,
    scPosition = 4,
    scTrack = 5,
    scTop = 6,
    scBottom = 7,
    scEndScroll = 8
};

// Maps a QAbstractSlider action to the scroll code it stands for. A move while
// the thumb is held is tracking; any other move (the wheel) is a line step.
TScrollCode ScrollCodeOf(int sliderAction, bool thumbDown, int proposed, int current);

}  // namespace quillet
