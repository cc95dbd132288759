// The APEv2 reader over a memory stream.
#include "fuzz_tags_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    TMemoryStream stream(data, size);
    TAPEv2Tags tags;
    ReadAPEv2Tag(stream, tags);
    fuzz_tags::g_sink = fuzz_tags::Fold(tags) + static_cast<size_t>(stream.Position());
    return 0;
}
