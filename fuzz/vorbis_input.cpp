// TVorbisIn over arbitrary bytes: open, read the comments, decode in odd-sized
// requests and seek once, as a run on the worker would.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "ACS_Vorbis.h"

namespace {
volatile uint64_t g_sink;
}  // namespace

// libvorbisfile 1.3.7 loses a few bytes of its own when ov_test_open fails
// while bisecting a damaged chain; not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvorbisfile.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t chunk = 1 + data[0] * 61u;
    const bool seek = data[1] & 1;
    quillet::TMemoryStream stream(data + 2, size - 2);
    quillet::TVorbisIn in;
    in.SetStream(&stream);
    uint64_t sum = 0;
    try {
        in.BeginRead();
        for (const auto& f : in.VorbisTags().ListFields()) sum += f.Value.size();
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
    g_sink = sum;
    return 0;
}
