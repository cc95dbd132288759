// TEqualizer: the ten-band equalizer as it runs (eq_design.h has the
// design). It works in double precision on interleaved samples of full
// scale 1, each channel through its own ten sections.
//
// A change of setting never clicks: the section gains, the preamp and the
// headroom move from where they are to the new values over kEqRampMs, the
// sections redesigned every kEqRampStep frames on the way. Off and flat is
// free and exact: once a ramp to neutral has ended, Idle() says so and the
// caller passes the sound by untouched.
//
// Headroom: where the response boosts, the level is lowered by as much as
// the highest boost would lift the loudest sample the input may carry
// (SetPeak: its peak tag, after the ring's gain; full scale when unknown),
// plus a margin of up to 1 dB for the sections' phase. A full-scale track
// with +12 dB on a band thus comes out just under full scale where that
// band is, not clipped and not turned down to nothing; a quiet track whose
// peak tag shows room keeps its boost.
//
// A NOTE ON THREADS
// - Any thread (the GUI's): Set, Settings. Lock-free (shared_setting.h):
//   the worker takes a new setting at its next block.
// - The sink's worker: Start, SetPeak, Idle, Process.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "eq_design.h"
#include "shared_setting.h"

namespace quillet {

inline constexpr double kEqRampMs = 30;
inline constexpr size_t kEqRampStep = 32;

class TEqualizer {
  public:
    // Any thread: the setting, clamped to the sliders' range.
    void Set(const TEqSettings& settings) { FSettings.Store(ClampedEq(settings)); }
    TEqSettings Settings() const { return FSettings.Load(); }

    // Worker: a run of this format begins; the setting in force applies at
    // once (no ramp) and the sections start from silence.
    void Start(double rate, uint32_t channels);
    // Worker: the loudest sample (full scale 1) the next samples may carry
    // once the ring's gain is applied; 0 or less counts as unknown (1).
    void SetPeak(double peak);
    // Worker: takes a changed setting; true when the sound passes untouched.
    bool Idle();
    // Worker: `frames` interleaved frames in place (Idle() false).
    void Process(double* samples, size_t frames);

  private:
    struct TPoint {
        std::array<double, kEqBands> Gains{};  // the sections' (corrected) gains
        double PreampDb = 0;
        double HeadroomDb = 0;
        bool operator==(const TPoint&) const = default;
    };
    // The point the current setting and peak ask for.
    TPoint Target() const;
    // Moves towards `to` (over a ramp unless `atOnce`).
    void Aim(const TPoint& to, bool atOnce);
    void Design();

    TSharedSetting<TEqSettings> FSettings;
    // Worker only:
    uint32_t FSeen = 1;  // the setting's serial last taken (odd: none yet)
    TEqSettings FTaken;
    double FTakenMaxDb = 0;  // the taken setting's highest response
    double FRate = 44100;
    uint32_t FChannels = 0;
    double FPeak = 1;
    TPoint FNow, FFrom, FTo;
    size_t FRampFrames = 0;  // the ramp's length
    size_t FRampLeft = 0;    // frames of it still to go
    double FScale = 1;       // preamp and headroom, as a factor
    std::array<TBiquad, kEqBands> FSections;
    std::vector<double> FState;  // per channel and band: the two state words
};

}  // namespace quillet
