// The loudness correction a file gives for its track or its album, and the
// one conversion from decibels to a linear factor. A header of its own: the
// tag readers, the output's gain and the window need these and nothing else
// of the pipeline.
#pragma once

#include <cmath>
#include <optional>

namespace quillet {

// A gain beyond this many dB either way, from a damaged tag or a setting, is
// clamped to it, so nothing can make the player deafening.
inline constexpr double kMaxReplayGainDb = 24.0;

// The gain in dB that brings the track (or album) to the reference level,
// and its sample peak (linear, 1 = full scale; 0 when the tags give none).
struct TGainInfo {
    double GainDb = 0;
    double Peak = 0;
    bool operator==(const TGainInfo&) const = default;
};
struct TReplayGain {
    std::optional<TGainInfo> Track;
    std::optional<TGainInfo> Album;
    bool operator==(const TReplayGain&) const = default;
};

// The amplitude factor of a gain in dB (6.02 dB doubles it).
inline double DbToFactor(double db) {
    return std::pow(10.0, db / 20.0);
}

}  // namespace quillet
