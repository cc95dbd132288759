#include "time_range.h"

namespace quillet {

namespace {

// a * b / c, rounded down, for a, b >= 0 and c > 0, saturating.
int64_t ScaleDown(int64_t a, int64_t b, int64_t c) {
    if (a <= 0 || b <= 0 || c <= 0) return 0;
    const __int128 v = static_cast<__int128>(a) * b / c;
    return v > INT64_MAX ? INT64_MAX : static_cast<int64_t>(v);
}

}  // namespace

int64_t FlicksToFrames(int64_t flicks, uint32_t rate) {
    return ScaleDown(flicks, rate, kFlicksPerSecond);
}

int64_t FramesToFlicks(int64_t frame, uint32_t rate) {
    return ScaleDown(frame, kFlicksPerSecond, rate);
}

}  // namespace quillet
