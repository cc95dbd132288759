// quillet-cli info: a file's format, length and the tags its input reads.
#include <cstdio>
#include <string>
#include <vector>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
#include "commands.h"
#include "media_common.h"

namespace quillet::cli {
namespace {

// The lines of one tag set.
void PrintTagSet(const char* set, const TAuTags& tags) {
    for (const TTagFieldText& f : tags.ListFields())
        std::printf("%s.%s: %s\n", set, f.Property.c_str(), f.Value.c_str());
}

// One "SET.Field: value" line per non-empty tag field the input filled
// (SET: id3v1, id3v2, apev2, vorbis); the tag-reading inputs list theirs here.
void PrintTagLines(TAuFileIn& input) {
    // MP3 and WMA: the seven header attributes, in the ID3v2 set.
    if (auto* wm = dynamic_cast<TWMIn*>(&input)) PrintTagSet("id3v2", wm->Id3v2Tags());
    // FLAC: the six Vorbis comments.
    if (auto* flac = dynamic_cast<TFLACIn*>(&input)) PrintTagSet("vorbis", flac->VorbisTags());
    // Ogg Vorbis: the six comments; Musepack: the APEv2 tag at the end.
    if (auto* ogg = dynamic_cast<TVorbisIn*>(&input)) PrintTagSet("vorbis", ogg->VorbisTags());
    if (auto* mpc = dynamic_cast<TMPCIn*>(&input)) PrintTagSet("apev2", mpc->APEv2Tags());
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("info needs one file");
    Owned<TAuFileIn> input = OpenInput(args[0]);
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();
    const int64_t samples = input->GetSampleCount();
    const bool valid = input->IsValid();
    const double duration = samples > 0 && rate > 0 ? static_cast<double>(samples) / rate : 0.0;
    std::printf("channels: %u\nrate: %u\nbits: %u\nsamples: %lld\nduration: %.3f\nvalid: %s\n",
                channels, rate, bits, static_cast<long long>(samples), duration,
                valid ? "yes" : "no");
    PrintTagLines(*input);
    return 0;
}

TCommand infoCmd("info", "info IN", &Info);

}  // namespace
}  // namespace quillet::cli
