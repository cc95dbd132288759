// The general FFmpeg input over arbitrary bytes through a stream that lies
// (see lying_stream.h): bytes 0-1 pick the faults, byte 2 the request size;
// the rest is the file. The content sniffer looks at the same bytes.
#include <cstddef>
#include <cstdint>

#include "content_sniff.h"
#include "ffmpeg_input.h"
#include "lying_run.h"
#include "lying_stream.h"

namespace {
volatile uint64_t g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint64_t sniffed = static_cast<uint64_t>(quillet::SniffContent(data + 3, size - 3));
    quillet::test::LyingStream stream(data + 3, size - 3, data[0], data[1]);
    g_sink = sniffed + quillet::fuzz::LyingRun<quillet::TFFmpegIn>(
                           stream, 1 + data[2] * 67u, [](quillet::TFFmpegIn& in) {
                               uint64_t sum = 0;
                               for (const auto& f : in.Id3v2Tags().ListFields())
                                   sum += f.Value.size();
                               return sum;
                           });
    return 0;
}
