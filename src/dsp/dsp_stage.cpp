#include "dsp_stage.h"

#include "pcm_float.h"

namespace quillet {

void TDspStage::Start(uint32_t rate, uint32_t channels, uint32_t bits) {
    FChannels = channels;
    FBits = bits;
    FEq.Start(rate, channels);
}

void TDspStage::Process(uint8_t* pcm, size_t bytes) {
    if (FChannels == 0 || FBits % 8 != 0 || FBits == 0 || FEq.Idle()) return;
    const size_t frameBytes = size_t{FChannels} * (FBits / 8);
    const size_t frames = bytes / frameBytes, samples = frames * FChannels;
    if (frames == 0) return;
    FSamples.resize(samples);
    PcmToDouble(pcm, samples, FBits, FSamples.data());
    FEq.Process(FSamples.data(), frames);
    DoubleToPcm(FSamples.data(), samples, FBits, pcm);
}

}  // namespace quillet
