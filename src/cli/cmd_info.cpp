// quillet-cli info: a file's format, length and the tags its input reads;
// for a stream, also what it says of itself (format, station, song). The
// status is 1 for a file no input can read (valid: no).
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "media_common.h"
#include "stream_input.h"
#include "text.h"

namespace quillet::cli {
namespace {

// A station sends the song's title within its first second or so of sound,
// which the open has already read ahead: this long at most for it.
constexpr auto kTitleWait = std::chrono::seconds(3);

void PrintStreamInfo(TStreamIn& stream) {
    const auto until = std::chrono::steady_clock::now() + kTitleWait;
    TStreamInfo info = stream.StreamInfo();
    while (info.Title.empty() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        info = stream.StreamInfo();
    }
    std::printf("format: %s\nstation: %s\nartist: %s\ntitle: %s\n",
                EscapeControls(info.Format).c_str(), EscapeControls(info.Station).c_str(),
                EscapeControls(info.Artist).c_str(), EscapeControls(info.Title).c_str());
}

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
    if (auto* stream = dynamic_cast<TStreamIn*>(input.get()))
        PrintStreamInfo(*stream);
    else
        PrintInputTags(*input);
    if (valid) return 0;
    // What it could tell is printed; the status says it is no sound file,
    // as decode's does, so a script need not read the lines to know.
    std::fflush(stdout);
    std::fprintf(stderr, "%s: not a file this input can read\n", EscapeControls(args[0]).c_str());
    return 1;
}

TCommand infoCmd("info", "info IN|URL", &Info);

}  // namespace
}  // namespace quillet::cli
