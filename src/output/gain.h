// The output's one gain: the volume slider's attenuation times the current
// track's loudness correction, applied in the back-end's copy with a single
// multiply per sample (never a second pass over the sound).
//
// Tracks are joined in one ring, so each track's correction must start at its
// own first sample: the sink's worker gives the ring a small schedule ("from
// this byte on, this gain") when a run starts, at each hand-over and after a
// seek, and the back-end's copy switches at the scheduled byte.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "replay_gain_info.h"

namespace quillet {

// Which of a file's gains to play by; Off plays the file as it is. Smart
// takes the album gain while an album plays in order and the track gain
// otherwise, track by track (SmartGainMode); without the player telling it,
// Smart plays as Track.
enum class TReplayGainMode : uint8_t { Off, Track, Album, Smart };

struct TReplayGainSetting {
    TReplayGainMode Mode = TReplayGainMode::Track;
    // The gain for files whose tags give none, in dB (clamped to +-24).
    double PreampDb = 0;
};

// The pre-amp's range as the window's menu offers it (-6 to +6 dB).
inline constexpr double kMaxPreampDb = 6.0;

// "off", "track", "album", "smart", and back.
std::optional<TReplayGainMode> ParseReplayGainMode(std::string_view text);
std::string_view ReplayGainModeName(TReplayGainMode mode);
// A pre-amp written as a plain decimal number of dB (a "+" allowed),
// clamped to the menu's range (+-kMaxPreampDb); nothing for any other text.
std::optional<double> ParsePreampDb(std::string_view text);

// The linear factor for a file's gains: the chosen gain (the other one when
// the file has only that), the pre-amp without either, 1 when Off. A gain is
// lowered so that the peak, when the tags give one, lands at full scale at
// most.
double ReplayGainFactor(const TReplayGain& gains, const TReplayGainSetting& setting);
// The loudest sample the tags tell of (the larger of the two peaks); 0 when
// they tell none.
double TagPeak(const TReplayGain& gains);
// The loudest sample the equalizer may be given: `peak` (full scale when 0
// or less, i.e. unknown) lifted by a gain above 1.
double EqualizerPeak(double peak, double gain);

// What the player knows of an input beyond its tags.
struct TInputGainInfo {
    // The gains measured for the file (as a tagger would write them); used
    // only when the input's tags give neither gain. Empty: not measured yet.
    TReplayGain Measured;
    // Smart mode's choice for this input: Track or Album.
    TReplayGainMode SmartChoice = TReplayGainMode::Track;
};

// The factor an input plays at: its tags' gains, or the measured ones when
// the tags give none, under the setting (Smart resolved by SmartChoice).
double InputGainFactor(const TReplayGain& tags, const TInputGainInfo& known,
                       const TReplayGainSetting& setting);

// Where a track stands in what plays, for smart mode: its album tag and
// those of the tracks played just before and just after it (empty: no tag,
// or no such track).
struct TSmartPlace {
    bool InOrder = false;  // the list plays in its own order (no shuffle)
    std::string_view Album;
    std::string_view PreviousAlbum;
    std::string_view NextAlbum;
};

// Album when the list plays in order and the track shares its album tag
// (blanks around it and ASCII case aside) with the track before or the
// track after it: the first and last tracks of an album belong to it as
// much as the middle ones. Track otherwise (shuffle, a mixed list, no tag).
TReplayGainMode SmartGainMode(const TSmartPlace& place);

// The album a track plays as part of, for its album gain: the run of
// neighbours [First, Last] around `index` (of `count` tracks in play order)
// that share its album tag as SmartGainMode compares them; the track alone
// when it has none. `albumAt(i)` is track i's album tag.
struct TAlbumRun {
    size_t First = 0, Last = 0;
};
TAlbumRun AlbumRunOf(size_t count, size_t index,
                     const std::function<std::string_view(size_t)>& albumAt);

// The volume in hundredths of a decibel (0 full, -10000 silent) as a factor.
double VolumeFactor(int32_t hundredthsDb);

// Multiplies Count samples of Width bytes in place (1: unsigned 8-bit; 2, 3,
// 4: signed little-endian), rounding to nearest and saturating at full
// scale. A gain of exactly 1 leaves them untouched.
void ApplyGain(uint8_t* samples, size_t count, uint32_t width, double gain);

// The ring's gain changes, by byte position in the play cursor's travel
// (the ring's count since SetCurrentPosition, which the device layer's
// WrittenTotal shares). No lock of its own: the ring keeps it under its own.
//
// Two lanes multiply: the track's gain (Set) and the transport's fades
// (SetFade: pause, stop, seek). Each keeps its own changes, so a fade never
// disturbs the track gains scheduled ahead of it, and a fade lane at rest
// (1) leaves the track's gain exactly as it is.
class TGainSchedule {
  public:
    static constexpr uint64_t kNoChange = UINT64_MAX;

    // A ramp moves in this many steps: small enough that no step clicks.
    static constexpr uint64_t kRampSteps = 128;

    // From byte From on, Gain. Changes set before at or beyond From are
    // forgotten: the sound they belonged to was replaced (a seek). With
    // RampBytes, the gain moves from the one in force to Gain over that
    // many bytes, starting where the change is reached (a change set for a
    // byte already played starts at once).
    void Set(uint64_t From, double Gain, uint64_t RampBytes = 0) {
        FGain.Set({From, Gain, RampBytes, kInForce});
    }
    // The same for the fade lane, which starts at 1. StartGain: the ramp
    // starts from that gain (a fade in from silence) instead of the one in
    // force.
    void SetFade(uint64_t From, double Gain, uint64_t RampBytes, double StartGain = kInForce) {
        FFade.Set({From, Gain, RampBytes, StartGain});
    }
    // Whether the fade lane has no change left to reach and no ramp under
    // way at Pos.
    bool FadeSettled(uint64_t Pos) const { return FFade.Count == 0 && Pos >= FFade.RampEnd; }
    // The gain for the bytes from Pos on, once the changes it has reached
    // are taken; Next := the byte where it changes next, a change or a
    // ramp's next step (kNoChange when none).
    double At(uint64_t Pos, uint64_t& Next);

  private:
    static constexpr double kInForce = -1;  // no start gain: from the one in force
    // Changes not reached yet: one per hand-over within a ring's length.
    // Past this many (tracks of a few milliseconds each) the latest fold
    // into one.
    static constexpr size_t kMaxPending = 32;
    struct TChange {
        uint64_t From;
        double Gain;
        uint64_t Ramp;
        double Start;  // kInForce, or the ramp's first gain
    };
    struct TLane {
        void Set(const TChange& change);
        double At(uint64_t Pos, uint64_t& Next);
        // The gain of the ramp under way at Pos (Current once it has ended).
        double RampedAt(uint64_t Pos) const;

        std::array<TChange, kMaxPending> Pending{};  // in order of From
        size_t Count = 0;
        double Current = 1.0;  // the gain in force, or the ramp's target
        // The ramp under way: from RampFrom at RampStart to Current at
        // RampEnd (RampEnd <= Pos: none).
        double RampFrom = 1.0;
        uint64_t RampStart = 0, RampEnd = 0;
    };
    TLane FGain, FFade;
};

// Walks `bytes` of a ring from play position `pos` (at ring offset `offset`)
// through the schedule: calls Copy(offset, bytes, gain) for each stretch of
// one gain, in order, each ending at a gain change or the ring's end. Volume
// multiplies every gain. Frames never split: a change inside a frame takes
// effect at the next frame's start.
template <class CopyFn>
void ForEachGainStretch(TGainSchedule& schedule, uint64_t pos, uint32_t offset, uint32_t ringBytes,
                        uint32_t frameBytes, uint64_t bytes, double volume, CopyFn Copy) {
    while (bytes > 0) {
        uint64_t next = TGainSchedule::kNoChange;
        const double gain = schedule.At(pos, next) * volume;
        uint64_t n = std::min<uint64_t>(bytes, ringBytes - offset);
        if (next != TGainSchedule::kNoChange)
            n = std::min(n, std::max<uint64_t>((next - pos) / frameBytes * frameBytes, frameBytes));
        Copy(offset, static_cast<uint32_t>(n), gain);
        pos += n;
        offset = static_cast<uint32_t>((offset + n) % ringBytes);
        bytes -= n;
    }
}

}  // namespace quillet
