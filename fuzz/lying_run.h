// One run of a file input over a lying stream, as the worker would drive it:
// open, read, seek to the middle and past the end, read on. Whatever the
// stream does, the input must end the run cleanly: a message is fine, a
// crash, hang or leak is not. Returns a checksum of everything delivered.
#pragma once

#include <cstdint>
#include <exception>

#include "ACS_Classes.h"

namespace quillet::fuzz {

inline uint64_t Drain(TAuInput& in, uint32_t chunk, int maxBlocks, uint64_t sum) {
    for (int i = 0; i < maxBlocks; ++i) {
        uint8_t* block = nullptr;
        uint32_t bytes = chunk;
        in.GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        for (uint32_t k = 0; k < bytes; k += 7) sum = sum * 131 + block[k];
    }
    return sum;
}

// `tags(in)` adds what the input's tag set holds to the checksum.
template <class In, class Tags>
uint64_t LyingRun(TStream& stream, uint32_t chunk, Tags tags) {
    In in;
    in.SetStream(&stream);
    uint64_t sum = 0;
    try {
        sum += in.IsValid();
        in.BeginRead();
        sum += in.GetChannels() * 31u + in.GetSampleRate() + static_cast<uint64_t>(in.DataSize());
        sum += tags(in);
        sum = Drain(in, chunk, 512, sum);
        in.GoToSample(in.GetSampleCount() / 2 + 1);
        sum = Drain(in, chunk, 64, sum);
        const int64_t count = in.GetSampleCount();
        in.GoToSample(count > 0 && count < (int64_t{1} << 40) ? count * 2 + 1000
                                                              : 1000);  // past the end
        sum = Drain(in, chunk, 4, sum);
        in.EndRead();
    } catch (const std::exception&) {
        in.Reset();
    }
    in.SetStream(nullptr);
    return sum;
}

}  // namespace quillet::fuzz
