// The FLAC, Vorbis, Musepack and FFmpeg-backed inputs reading through a stream
// that lies (see lying_stream.h). Byte 0 picks the input, bytes 1-2 the faults,
// byte 3 the request size; the rest is the file. Whatever the stream does, the
// input must end the run cleanly: a message is fine, a crash, hang or leak is not.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_smpeg.h"
#include "lying_stream.h"

namespace {
volatile uint64_t g_sink;

// libvorbisfile 1.3.7 loses a few bytes of its own when ov_test_open fails
// while bisecting a damaged chain; not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvorbisfile.so\n";
}

uint64_t Drain(quillet::TAuInput& in, uint32_t chunk, int maxBlocks, uint64_t sum) {
    for (int i = 0; i < maxBlocks; ++i) {
        uint8_t* block = nullptr;
        uint32_t bytes = chunk;
        in.GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        for (uint32_t k = 0; k < bytes; k += 7) sum = sum * 131 + block[k];
    }
    return sum;
}

template <class In>
uint64_t Run(quillet::TStream& stream, uint32_t chunk) {
    In in;
    in.SetStream(&stream);
    uint64_t sum = 0;
    try {
        sum += in.IsValid();
        in.BeginRead();
        sum += in.GetChannels() * 31u + in.GetSampleRate() + static_cast<uint64_t>(in.DataSize());
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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    quillet::test::LyingStream stream(data + 4, size - 4, data[1], data[2]);
    const uint32_t chunk = 1 + data[3] * 67u;
    switch (data[0] % 4) {
        case 0:
            g_sink = Run<quillet::TFLACIn>(stream, chunk);
            break;
        case 1:
            g_sink = Run<quillet::TVorbisIn>(stream, chunk);
            break;
        case 2:
            g_sink = Run<quillet::TMPCIn>(stream, chunk);
            break;
        default:
            g_sink = Run<quillet::TMP3In>(stream, chunk);
            break;
    }
    return 0;
}
