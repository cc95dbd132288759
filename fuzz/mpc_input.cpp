// TMPCIn over arbitrary bytes: open, read the APEv2 tag, decode in odd-sized
// requests and seek once, as a run on the worker would.
#include "ACS_MPC.h"
#include "fuzz_input_common.h"

namespace {
volatile uint64_t g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_sink = quillet::fuzz::DecodeRun<quillet::TMPCIn>(
        data, size,
        [](quillet::TMPCIn& in, uint8_t b) { in.SetOutBitsPerSample(8u * (1 + (b >> 1) % 4)); },
        [](quillet::TMPCIn& in) -> quillet::TAuTags& { return in.APEv2Tags(); });
    return 0;
}
