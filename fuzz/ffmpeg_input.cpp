// The general FFmpeg input over arbitrary bytes through a stream that lies
// (see lying_stream.h): bytes 0-1 pick the faults, byte 2 the request size;
// the rest is the file. Open, read, seek to the middle and past the end, read
// on: the run must end cleanly whatever the bytes are. The content sniffer
// looks at the same bytes.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "content_sniff.h"
#include "ffmpeg_input.h"
#include "lying_stream.h"

namespace {
volatile uint64_t g_sink;

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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    uint64_t sum = static_cast<uint64_t>(quillet::SniffContent(data + 3, size - 3));
    quillet::test::LyingStream stream(data + 3, size - 3, data[0], data[1]);
    const uint32_t chunk = 1 + data[2] * 67u;
    quillet::TFFmpegIn in;
    in.SetStream(&stream);
    try {
        sum += in.IsValid();
        in.BeginRead();
        sum += in.GetChannels() * 31u + in.GetSampleRate() + static_cast<uint64_t>(in.DataSize());
        for (const auto& f : in.Id3v2Tags().ListFields()) sum += f.Value.size();
        sum = Drain(in, chunk, 256, sum);
        in.GoToSample(in.GetSampleCount() / 2 + 1);
        sum = Drain(in, chunk, 32, sum);
        in.GoToSample(int64_t{1} << 40);  // past any end
        sum = Drain(in, chunk, 4, sum);
        in.EndRead();
    } catch (const std::exception&) {
        in.Reset();
    }
    in.SetStream(nullptr);
    g_sink = sum;
    return 0;
}
