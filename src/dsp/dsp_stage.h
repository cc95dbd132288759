// The sound stage between an input's blocks and the sink's ring: the
// equalizer and the crossfade (each its own class), run by the sink's
// worker on the integer PCM it is about to write, in floating point.
// Nothing configured, nothing touched: with the equalizer off or flat the
// samples reach the ring bit for bit as the input gave them.
//
// A NOTE ON THREADS
// - Any thread (the GUI's): Equalizer().Set/Settings, Crossfade().Set/
//   Settings; they never wait for the worker.
// - The sink's worker: Start, Process, and the rest of the effects'
//   worker calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crossfade.h"
#include "equalizer.h"

namespace quillet {

class TDspStage {
  public:
    TEqualizer& Equalizer() { return FEq; }
    const TEqualizer& Equalizer() const { return FEq; }
    TCrossfade& Crossfade() { return FCrossfade; }
    const TCrossfade& Crossfade() const { return FCrossfade; }

    // Worker: a run of this PCM format begins.
    void Start(uint32_t rate, uint32_t channels, uint32_t bits);
    // Worker: the effects over the whole frames of `bytes` of PCM, in place.
    void Process(uint8_t* pcm, size_t bytes);

  private:
    TEqualizer FEq;
    TCrossfade FCrossfade;
    // Worker only:
    uint32_t FChannels = 0, FBits = 0;
    std::vector<double> FSamples;
};

}  // namespace quillet
