// The APEv2 reader over a memory stream, with its gain items parsed.
#include <bit>

#include "fuzz_tags_common.h"
#include "replay_gain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    TMemoryStream stream(data, size);
    TAPEv2Tags tags;
    TReplayGainFields gain;
    ReadAPEv2Tag(stream, tags, &gain);
    const TReplayGain g = gain.Result();
    // Bit patterns, not conversions: a negative gain has no size_t value.
    const auto bits = [](double x) { return static_cast<size_t>(std::bit_cast<uint64_t>(x)); };
    fuzz_tags::g_sink = fuzz_tags::Fold(tags) + static_cast<size_t>(stream.Position()) +
                        (g.Track ? bits(g.Track->GainDb) + bits(g.Track->Peak) : 0) +
                        (g.Album ? bits(g.Album->GainDb) + bits(g.Album->Peak) : 0);
    return 0;
}
