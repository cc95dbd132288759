#include "crossfade.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pcm_float.h"

namespace quillet {

TCrossfadeSettings ClampedCrossfade(TCrossfadeSettings settings) {
    settings.Seconds = std::min(settings.Seconds, kMaxCrossfadeSeconds);
    settings.FadeMs = std::clamp<uint32_t>(settings.FadeMs, 1, kMaxFadeMs);
    return settings;
}

uint32_t TCrossfade::FadeMs() const {
    const TCrossfadeSettings s = Settings();
    return s.Fades ? s.FadeMs : 0;
}

void TCrossfade::CurveAt(int64_t at, int64_t length, double& outgoing, double& incoming) {
    const double t = length > 0 ? std::clamp(static_cast<double>(at) / length, 0.0, 1.0) : 1.0;
    outgoing = std::cos(t * std::numbers::pi / 2);
    incoming = std::sin(t * std::numbers::pi / 2);
}

int64_t TCrossfade::Overlap(int64_t outFrames, int64_t inFrames, uint32_t rate) const {
    TCrossfadeSettings s;
    if (!FSettings.TryLoad(s) || s.Seconds == 0 || outFrames <= 0 || inFrames <= 0) return 0;
    return std::min({int64_t{s.Seconds} * rate, outFrames / 2, inFrames / 2});
}

void TCrossfade::Mix(uint8_t* incoming, const uint8_t* outgoing, size_t frames, uint32_t channels,
                     uint32_t bits, int64_t at, int64_t length, double outGain, double inGain) {
    const size_t samples = frames * channels;
    FIn.resize(samples);
    FOut.resize(samples);
    PcmToDouble(incoming, samples, bits, FIn.data());
    PcmToDouble(outgoing, samples, bits, FOut.data());
    for (size_t f = 0; f < frames; ++f) {
        double o = 0, i = 0;
        CurveAt(at + static_cast<int64_t>(f), length, o, i);
        o *= outGain;
        i *= inGain;
        for (size_t c = 0; c < channels; ++c) {
            const size_t k = f * channels + c;
            FIn[k] = FIn[k] * i + FOut[k] * o;
        }
    }
    DoubleToPcm(FIn.data(), samples, bits, incoming);
}

}  // namespace quillet
