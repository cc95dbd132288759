// Positions that do not depend on a file's sample rate: a part of a track
// (a CUE sheet's track inside an image, a resumed position) is known before
// the file is opened, and becomes samples only once its rate is.
//
// The unit is the flick, 1/705 600 000 s: every common sample rate (8000,
// 11025, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000) and a
// CD frame (1/75 s) divide it, so positions taken from either land on exact
// samples, and int64 holds over 400 years of them.
#pragma once

#include <cstdint>

namespace quillet {

inline constexpr int64_t kFlicksPerSecond = 705600000;

// The frame at `flicks` for `rate` (rounded down; 0 for a rate of 0).
int64_t FlicksToFrames(int64_t flicks, uint32_t rate);
// The flicks at `frame` for `rate` (rounded down; 0 for a rate of 0).
int64_t FramesToFlicks(int64_t frame, uint32_t rate);

// A part of a track: [Start, End) in flicks; End -1 runs to the track's end.
// The default is the whole track.
struct TTimeRange {
    int64_t Start = 0;
    int64_t End = -1;
    bool Whole() const { return Start == 0 && End == -1; }
    bool operator==(const TTimeRange&) const = default;
};

}  // namespace quillet
