// Where playback is in the current track, in microseconds, from what the
// output says is heard: what the media-player interface reports as Position
// and as the track's length.
#pragma once

#include <cstdint>

#include "ACS_Classes.h"

namespace quillet {

struct TPlayPosition {
    int64_t Position = 0;   // microseconds from the start of the track
    int64_t Length = -1;    // microseconds; -1 while unknown
    bool Estimate = false;  // the length comes from a header's estimate
};

// The output's play point in microseconds; no run: at 0, length unknown.
TPlayPosition PlayPositionOf(const TAuOutput::TPlayPoint& point);

// The frame at `microseconds` (clamped at 0) for `rate`, without overflow.
int64_t FrameAt(int64_t microseconds, uint32_t rate);

}  // namespace quillet
