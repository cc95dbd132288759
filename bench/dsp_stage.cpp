// The sound stage as the sink runs it, without a device: a 16-bit stereo
// WAV read in the sink's blocks, every 10 s "track" crossfaded into the next
// over 5 s (half the sound is mixed), and the equalizer on the whole of it.
//   dsp_stage IN.wav PRESET
//   dsp_stage --gains PRESET     (the sections' gains at 44.1 kHz, for sox)
#include <cstdio>
#include <string_view>
#include <vector>

#include "dsp_stage.h"
#include "eq_presets.h"

int main(int argc, char** argv) {
    using namespace quillet;
    if (argc != 3) return 2;
    if (std::string_view(argv[1]) == "--gains") {
        const auto eq = ParseEqArgument(argv[2]);
        if (!eq) return 2;
        for (const double g : CorrectedEqGains(eq->Gains, 44100)) std::printf("%.4f ", g);
        std::printf("\n");
        return 0;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (!f) return 1;
    std::vector<uint8_t> pcm;
    std::vector<uint8_t> chunk(1 << 20);
    std::fseek(f, 44, SEEK_SET);  // sox's canonical header
    for (size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0;)
        pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(n));
    std::fclose(f);
    const auto eq = ParseEqArgument(argv[2]);
    if (!eq) return 2;
    TDspStage stage;
    stage.Equalizer().Set(*eq);
    stage.Crossfade().Set({.Seconds = 5});
    stage.Start(44100, 2, 16);
    constexpr size_t kFrame = 4, kBlock = 8192 * kFrame, kTrack = 10 * 44100 * kFrame;
    const size_t overlap =
        static_cast<size_t>(stage.Crossfade().Overlap(10 * 44100, 10 * 44100, 44100));
    std::vector<uint8_t> block;
    for (size_t at = 0; at < pcm.size(); at += kBlock) {
        const size_t n = std::min(kBlock, pcm.size() - at);
        block.assign(pcm.begin() + static_cast<ptrdiff_t>(at),
                     pcm.begin() + static_cast<ptrdiff_t>(at + n));
        // The second half of each track is the overlap with the next one
        // (the same sound, a track later, stands in for it).
        const size_t inTrack = at % kTrack, frames = n / kFrame;
        if (inTrack >= kTrack - overlap * kFrame && at + kTrack + n <= pcm.size())
            stage.Crossfade().Mix(
                block.data(), pcm.data() + at + kTrack - kTrack / 2, frames, 2, 16,
                static_cast<int64_t>((inTrack - (kTrack - overlap * kFrame)) / kFrame),
                static_cast<int64_t>(overlap), 1.0, 1.0);
        stage.Process(block.data(), block.size());
    }
    return block.empty() ? 1 : 0;
}
