// Elapsed and total time of the track being played, as the output tells
// what is heard, formatted for the window ("1:23 / 4:56"). GUI thread.
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
    bool Live = false;        // a stream: it has no length, only the time played
};

// "m:ss", or "h:mm:ss" from an hour on (hours grow past 24); "--:--" for a
// negative count.
std::string FormatClock(int64_t seconds);
// "1:23 / 4:56"; "--:--" for what is unknown; "~" before an estimated length;
// "1:23" alone for a stream.
std::string FormatPlayTime(const TPlayTime& time);
// The frame a seek by `seconds` from the time's position goes to, kept inside
// 0..Length (when known); nullopt when the position or rate is unknown.
std::optional<int64_t> SeekTarget(const TPlayTime& time, int seconds);

// The time of what the output plays now (see TAuOutput::PlayPoint).
TPlayTime PlayTimeOf(const TAuOutput::TPlayPoint& point);

}  // namespace quillet
