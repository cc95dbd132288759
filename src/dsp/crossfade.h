// TCrossfade: how tracks meet and how the transport starts and stops the
// sound. Two things, one setting:
// - the crossfade between tracks (off by default, 1..12 s): the end of one
//   track and the start of the next overlap by exactly that long, with
//   equal-power curves (the outgoing side at cos, the incoming at sin of a
//   quarter turn across the overlap, so uncorrelated music keeps its
//   loudness through the middle). The sink decides where (tracks it joins
//   in one ring, and only those the player marks: an album playing in
//   order still joins sample for sample);
// - short fades (default on, kDefaultFadeMs) where the transport would
//   otherwise cut the sound mid-wave: pause and resume, stop, a manual
//   change of track, a seek. The ring applies them (gain.h's fade lane).
//
// A NOTE ON THREADS
// - Any thread (the GUI's): Set, Settings (lock-free, shared_setting.h).
// - The sink's worker: Current, Mix, Overlap.
// - CurveAt: pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shared_setting.h"

namespace quillet {

inline constexpr uint32_t kMaxCrossfadeSeconds = 12;
inline constexpr uint32_t kDefaultFadeMs = 30;
inline constexpr uint32_t kMaxFadeMs = 500;

struct TCrossfadeSettings {
    uint32_t Seconds = 0;  // 0: tracks join as they are
    bool Fades = true;
    uint32_t FadeMs = kDefaultFadeMs;
    bool operator==(const TCrossfadeSettings&) const = default;
};

// Seconds within 0..kMaxCrossfadeSeconds, FadeMs within 1..kMaxFadeMs.
TCrossfadeSettings ClampedCrossfade(TCrossfadeSettings settings);

class TCrossfade {
  public:
    void Set(const TCrossfadeSettings& settings) { FSettings.Store(ClampedCrossfade(settings)); }
    TCrossfadeSettings Settings() const { return FSettings.Load(); }
    // Any thread: the fade's length when fades are on, else 0.
    uint32_t FadeMs() const;
    // Worker: the setting as last read without waiting (a write under way
    // leaves the one before).
    TCrossfadeSettings Current() {
        FSettings.TryLoad(FCurrent);
        return FCurrent;
    }

    // The two sides' gains at frame `at` of an overlap of `length` frames:
    // the outgoing one from 1 to 0, the incoming one from 0 to 1, their
    // squares summing to 1.
    static void CurveAt(int64_t at, int64_t length, double& outgoing, double& incoming);

    // Worker: the overlap of an outgoing track `outFrames` long and an
    // incoming one `inFrames` long (0 or less: unknown), at `rate`: the
    // setting's length, at most half of either track (so a track's fade-in
    // and fade-out never meet); 0 when off or a length is unknown.
    int64_t Overlap(int64_t outFrames, int64_t inFrames, uint32_t rate) const;

    // Worker: mixes `frames` frames of `outgoing` into `incoming` (both
    // interleaved PCM of `channels` x `bits`), which are frames `at`..
    // of an overlap of `length`; each side is multiplied by its own gain
    // as well as by its curve.
    void Mix(uint8_t* incoming, const uint8_t* outgoing, size_t frames, uint32_t channels,
             uint32_t bits, int64_t at, int64_t length, double outGain, double inGain);

  private:
    TSharedSetting<TCrossfadeSettings> FSettings;
    std::vector<double> FIn, FOut;  // worker only
    TCrossfadeSettings FCurrent;    // worker only
};

}  // namespace quillet
