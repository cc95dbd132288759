#include "play_position.h"

#include <algorithm>
#include <cstdint>

namespace quillet {
namespace {

constexpr int64_t kMicro = 1000000;

// a * b / c for a >= 0, b >= 0, c > 0, saturating instead of overflowing (a
// header's size may be anything).
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
    int64_t whole = 0;
    int64_t sum = 0;
    if (__builtin_mul_overflow(a / c, b, &whole) ||
        __builtin_add_overflow(whole, (a % c) * b / c, &sum))
        return INT64_MAX;
    return sum;
}

}  // namespace

TPlayPosition PlayPositionOf(const TAuOutput::TPlayPoint& point) {
    TPlayPosition pos;
    if (point.Rate == 0) return pos;
    pos.Position = MulDiv(std::max<int64_t>(point.Frame, 0), kMicro, point.Rate);
    if (point.Length >= 0) {
        pos.Length = MulDiv(point.Length, kMicro, point.Rate);
        pos.Estimate = point.Estimated;
    }
    return pos;
}

int64_t FrameAt(int64_t microseconds, uint32_t rate) {
    if (microseconds <= 0) return 0;
    return MulDiv(microseconds, rate, kMicro);
}

}  // namespace quillet
