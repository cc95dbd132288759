// TVorbisIn over arbitrary bytes: open, read the comments, decode in odd-sized
// requests and seek once, as a run on the worker would.
#include "ACS_Vorbis.h"
#include "fuzz_input_common.h"

namespace {
volatile uint64_t g_sink;
}  // namespace

// libvorbisfile 1.3.7 loses what it holds when ov_test_open fails while
// bisecting a damaged chain: its own bytes and a whole link's headers, which
// libvorbis allocated (corpus: chain_bad_third_link). Not ours to free. The
// libraries carry no frame pointers, so a leak allocated in libvorbis shows
// only libvorbis frames; our code never calls libvorbis itself, so every such
// allocation was made on libvorbisfile's behalf. Leaks with a frame of ours
// on top stay reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvorbisfile.so\n"
           "leak:libvorbis.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_sink = quillet::fuzz::DecodeRun<quillet::TVorbisIn>(
        data, size, [](quillet::TVorbisIn&, uint8_t) {},
        [](quillet::TVorbisIn& in) -> quillet::TAuTags& { return in.VorbisTags(); });
    return 0;
}
