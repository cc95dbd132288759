// Drives a file input over fuzzer bytes as a run on the worker would: the
// first byte sets the request size, the second whether to seek once; the rest
// is the file. Returns a checksum of everything delivered, so the caller can
// keep it and the decoding cannot be optimised away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "ACS_Classes.h"

namespace quillet::fuzz {

// `prepare` runs before the stream is given (input options); `tags` returns
// the input's tag set, read after the run has started.
template <class In, class Prepare, class Tags>
uint64_t DecodeRun(const uint8_t* data, size_t size, Prepare prepare, Tags tags) {
    if (size < 2) return 0;
    const uint32_t chunk = 1 + data[0] * 61u;
    const bool seek = data[1] & 1;
    TMemoryStream stream(data + 2, size - 2);
    In in;
    prepare(in, data[1]);
    in.SetStream(&stream);
    uint64_t sum = 0;
    try {
        in.BeginRead();
        for (const auto& f : tags(in).ListFields()) sum += f.Value.size();
        sum += in.GetChannels() * 31u + in.GetSampleRate() + static_cast<uint64_t>(in.DataSize());
        for (int round = 0; round < (seek ? 2 : 1); ++round) {
            for (;;) {
                uint8_t* block = nullptr;
                uint32_t bytes = chunk;
                in.GetBlock(block, bytes);
                if (bytes == 0 || !block) break;
                for (uint32_t i = 0; i < bytes; i += 7) sum = sum * 131 + block[i];
            }
            if (seek) in.GoToSample(data[1] * 97);
        }
        in.EndRead();
    } catch (const std::exception&) {
        in.Reset();
    }
    in.SetStream(nullptr);
    return sum;
}

}  // namespace quillet::fuzz
