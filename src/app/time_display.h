// Elapsed and total time of the track being played: read from the output's
// current input, formatted for the window ("1:23 / 4:56").
//
// A NOTE ON THREADS: everything here runs on the GUI thread. The input's
// position and size are atomics the worker keeps; its frame size and rate
// are set by the worker when a run starts, so TPlayClock reads them only once
// the run has shown that it started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ACS_Classes.h"

namespace quillet {

// A point in a run and its length, in frames; -1 is unknown.
struct TPlayTime {
    int64_t Position = -1;
    int64_t Length = -1;
    uint32_t SampleRate = 0;  // 0: unknown, and so is everything else
    bool Estimated = false;   // the length is only a header's estimate
};

// "m:ss", or "h:mm:ss" from an hour on (hours grow past 24); "--:--" for a
// negative count.
std::string FormatClock(int64_t seconds);
// "1:23 / 4:56"; "--:--" for what is unknown; "~" before an estimated length.
std::string FormatPlayTime(const TPlayTime& time);
// The frame a seek by `seconds` from the time's position goes to, kept inside
// 0..Length (when known); nullopt when the position or rate is unknown.
std::optional<int64_t> SeekTarget(const TPlayTime& time, int seconds);

// Follows the runs of one output. Restart when a run starts (or stops);
// RunBegun when one of its progress events arrives.
class TPlayClock {
  public:
    // A new run was started on `input` (nullptr: nothing plays).
    void Restart(TAuInput* input);
    // The run has delivered: its format is set (a progress event of it came).
    void RunBegun() { FBegun = true; }
    // The time of the run on `input` now; unknown until the run has begun.
    TPlayTime Read(TAuInput* input);

  private:
    TAuInput* FInput = nullptr;
    int64_t FStaleDelivered = 0;  // the input's count before the run started
    bool FBegun = false;
    uint16_t FFrameBytes = 0;  // read once per run
    uint32_t FRate = 0;
};

}  // namespace quillet
