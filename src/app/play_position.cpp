#include "play_position.h"

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

TPlayPosition PlayPositionFrom(int64_t delivered, int64_t dataSize, uint16_t frameBytes,
                               uint32_t rate, bool estimate) {
    TPlayPosition pos;
    if (frameBytes == 0 || rate == 0) return pos;
    pos.Position = MulDiv(delivered > 0 ? delivered / frameBytes : 0, kMicro, rate);
    if (dataSize > 0) {
        pos.Length = MulDiv(dataSize / frameBytes, kMicro, rate);
        pos.Estimate = estimate;
        // Decoding past an estimate: the length is at least where we are.
        if (pos.Position > pos.Length) pos.Length = pos.Position;
    }
    return pos;
}

TPlayPosition PlayPositionOf(TAuInput* input) {
    if (input == nullptr || !input->Active()) return {};
    try {
        return PlayPositionFrom(input->Delivered(), input->DataSize(), input->FrameBytes(),
                                input->GetSampleRate(), input->SizeIsEstimate());
    } catch (const std::exception&) {
        return {};
    }
}

int64_t FrameAt(int64_t microseconds, uint32_t rate) {
    if (microseconds <= 0) return 0;
    return MulDiv(microseconds, rate, kMicro);
}

}  // namespace quillet
