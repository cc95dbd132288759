#include "time_display.h"

#include <algorithm>
#include <cstdio>

namespace quillet {

std::string FormatClock(int64_t seconds) {
    if (seconds < 0) return "--:--";
    char text[32];
    const auto minutes = static_cast<int>(seconds / 60 % 60);
    const auto secs = static_cast<int>(seconds % 60);
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      minutes, secs);
    } else {
        std::snprintf(text, sizeof text, "%d:%02d", minutes, secs);
    }
    return text;
}

std::string FormatPlayTime(const TPlayTime& time) {
    auto seconds = [&time](int64_t frames) -> int64_t {
        return frames < 0 || time.SampleRate == 0 ? -1 : frames / time.SampleRate;
    };
    if (time.Live) return FormatClock(seconds(time.Position));
    const int64_t length = seconds(time.Length);
    return FormatClock(seconds(time.Position)) + " / " +
           (time.Estimated && length >= 0 ? "~" : "") + FormatClock(length);
}

std::optional<int64_t> SeekTarget(const TPlayTime& time, int seconds) {
    if (time.Position < 0 || time.SampleRate == 0) return std::nullopt;
    int64_t target = std::max<int64_t>(0, time.Position + int64_t{seconds} * time.SampleRate);
    // The input refuses a frame past its count, so a seek near the end goes
    // to the end rather than nowhere.
    if (time.Length >= 0) target = std::min(target, time.Length);
    return target;
}

TPlayTime PlayTimeOf(const TAuOutput::TPlayPoint& point) {
    TPlayTime time;
    if (point.Rate == 0) return time;
    time.SampleRate = point.Rate;
    time.Position = point.Frame;
    time.Length = point.Length;
    time.Estimated = point.Estimated;
    return time;
}

}  // namespace quillet
