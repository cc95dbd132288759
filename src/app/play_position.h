// Where playback is in the current track, in microseconds, from the output's
// current input: what the media-player interface reports as Position and as
// the track's length.
#pragma once

#include <cstdint>

#include "ACS_Classes.h"

namespace quillet {

struct TPlayPosition {
    int64_t Position = 0;   // microseconds from the start of the track
    int64_t Length = -1;    // microseconds; -1 while unknown
    bool Estimate = false;  // the length comes from a header's estimate
};

// From the input's counters: `delivered` and `dataSize` in bytes (dataSize
// -1 unknown, 0 none), `frameBytes` per frame, `rate` frames per second.
// Without a frame size or a rate nothing is known.
TPlayPosition PlayPositionFrom(int64_t delivered, int64_t dataSize, uint16_t frameBytes,
                               uint32_t rate, bool estimate);

// The running input's position; an idle input (or none) is at 0, length
// unknown. Main thread.
TPlayPosition PlayPositionOf(TAuInput* input);

// The frame at `microseconds` (clamped at 0) for `rate`, without overflow.
int64_t FrameAt(int64_t microseconds, uint32_t rate);

}  // namespace quillet
