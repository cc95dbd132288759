// The FLAC, Vorbis, Musepack and FFmpeg-backed inputs reading through a stream
// that lies (see lying_stream.h). Byte 0 picks the input, bytes 1-2 the faults,
// byte 3 the request size; the rest is the file. Whatever the stream does, the
// input must end the run cleanly: a message is fine, a crash, hang or leak is not.
#include <cstddef>
#include <cstdint>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_smpeg.h"
#include "lying_run.h"
#include "lying_stream.h"

namespace {
volatile uint64_t g_sink;

// libvorbisfile 1.3.7 loses a few bytes of its own when ov_test_open fails
// while bisecting a damaged chain; not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvorbisfile.so\n";
}

constexpr auto kNoTags = [](auto&) { return uint64_t{0}; };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    quillet::test::LyingStream stream(data + 4, size - 4, data[1], data[2]);
    const uint32_t chunk = 1 + data[3] * 67u;
    switch (data[0] % 4) {
        case 0:
            g_sink = quillet::fuzz::LyingRun<quillet::TFLACIn>(stream, chunk, kNoTags);
            break;
        case 1:
            g_sink = quillet::fuzz::LyingRun<quillet::TVorbisIn>(stream, chunk, kNoTags);
            break;
        case 2:
            g_sink = quillet::fuzz::LyingRun<quillet::TMPCIn>(stream, chunk, kNoTags);
            break;
        default:
            g_sink = quillet::fuzz::LyingRun<quillet::TMP3In>(stream, chunk, kNoTags);
            break;
    }
    return 0;
}
