// The EBU R128 loudness of a file, decoded by the player's own inputs and
// measured by libebur128 (ebur128_lib.h): integrated loudness, true peak,
// optionally the loudness range, and the loudness of its gating blocks, from
// which the loudness of a set of files (an album) is worked out without
// decoding them again. The ReplayGain 2.0 gain follows (reference -18 LUFS).
//
// Lossy files are measured from their decoder's float samples where the
// input offers them (float_output.h): rounding to 16 bits would clip the
// peaks above full scale that a true-peak reading is for.
//
// Threads: MeasureFile may run on any thread, several at once (each has its
// own input and meter); the rest are pure functions.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ACS_Classes.h"
#include "ebur128_lib.h"

namespace quillet {

// The ReplayGain 2.0 reference level.
inline constexpr double kReferenceLufs = -18.0;

// How many of a file's 400 ms gating blocks (a new one every 100 ms) fell in
// each 0.1 LU step from -70 LUFS (the absolute gate; quieter blocks are not
// counted) up to +30 LUFS (louder ones count in the top step): what a set's
// gated loudness needs of each file, small enough to keep per file.
struct TBlockHistogram {
    static constexpr uint16_t kSteps = 1000;
    struct TStep {
        uint16_t Index;  // 0 .. kSteps - 1: from -70 + Index / 10 LUFS
        uint32_t Count;  // above 0
        bool operator==(const TStep&) const = default;
    };
    std::vector<TStep> Steps;  // in order of Index
    bool operator==(const TBlockHistogram&) const = default;
};

// The gated loudness (LUFS) of files taken as one programme, as libebur128's
// histogram mode works it out: -inf when no block passes the gates.
double GatedLoudness(std::span<const TBlockHistogram* const> files);

// A file's meter, kept for a set's loudness range.
struct TMeterState {
    TEbur128State State;
};

struct TLoudness {
    double Integrated = -HUGE_VAL;  // LUFS; -inf for silence
    double TruePeak = 0;            // linear, 1 = full scale
    double Range = 0;               // LU; measured with TMeasureOptions::Range
    TBlockHistogram Blocks;
    std::shared_ptr<const TMeterState> Meter;  // with TMeasureOptions::KeepMeter
    // With TMeasureOptions::UntaggedOnly: the file's tags give a gain, and
    // nothing was measured.
    bool Tagged = false;
};

struct TMeasureOptions {
    bool Range = false;      // the loudness range too (it costs a little more)
    bool KeepMeter = false;  // for SetLoudnessRange
    // A file whose tags give a gain is not decoded (TLoudness::Tagged).
    bool UntaggedOnly = false;
    // Polled at every block: once true, MeasureFile raises kMeasureCancelled.
    const std::atomic<bool>* Cancel = nullptr;
};

extern const char kMeasureCancelled[];

// Decodes the regular file at `path` with the input the player would use.
// Raises EAuException: "not a regular file", the input's own errors, "not a
// file this input can read", "Out of memory", kMeasureCancelled, or
// "libebur128.so.1 library could not be loaded.".
TLoudness MeasureFile(const std::string& path, const TMeasureOptions& options = {});

// The loudness range (LU) of files measured with Range and KeepMeter, taken
// as one programme; 0 when none has a meter.
double SetLoudnessRange(std::span<const TLoudness* const> files);

// The gain a ReplayGain 2.0 tagger would write for a loudness and its true
// peak; nothing for silence (no loudness to correct).
std::optional<TGainInfo> GainForLoudness(double lufs, double truePeak);

}  // namespace quillet
