// The APEv2 reader over a memory stream, with its gain items parsed.
#include "fuzz_tags_common.h"
#include "replay_gain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    TMemoryStream stream(data, size);
    TAPEv2Tags tags;
    TReplayGainFields gain;
    ReadAPEv2Tag(stream, tags, &gain);
    const TReplayGain g = gain.Result();
    fuzz_tags::g_sink = fuzz_tags::Fold(tags) + static_cast<size_t>(stream.Position()) +
                        (g.Track ? static_cast<size_t>(g.Track->GainDb + g.Track->Peak) : 0) +
                        (g.Album ? static_cast<size_t>(g.Album->GainDb + g.Album->Peak) : 0);
    return 0;
}
