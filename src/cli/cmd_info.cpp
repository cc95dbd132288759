// quillet-cli info: a file's format, length and the tags its input reads.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "media_common.h"

namespace quillet::cli {
namespace {

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("info needs one file");
    Owned<TAuFileIn> input = OpenInput(args[0]);
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();
    const int64_t samples = input->GetSampleCount();
    const bool valid = PlayableFormat(*input);
    const double duration = samples > 0 && rate > 0 ? static_cast<double>(samples) / rate : 0.0;
    // Whether the length is a count the file gives or a header's estimate.
    const char* length = samples < 0 ? "unknown" : input->SizeIsEstimate() ? "estimated" : "exact";
    std::printf(
        "channels: %u\nrate: %u\nbits: %u\nsamples: %lld\nduration: %.3f\nvalid: %s\nlength: %s\n",
        channels, rate, bits, static_cast<long long>(samples), duration, valid ? "yes" : "no",
        length);
    PrintInputTags(*input);
    return 0;
}

TCommand infoCmd("info", "info IN", &Info);

}  // namespace
}  // namespace quillet::cli
