// An input whose decoder makes float samples (the lossy codecs) can hand
// them out as they are, for a meter: rounding to integers clips every peak
// above full scale, and those peaks are what a true-peak reading is for.
// Playback never asks for it: a sink takes integer PCM only.
#pragma once

namespace quillet {

class TFloatOutput {
  public:
    // Set on a fresh input, before anything opens it (an input may ignore
    // a change while a file is open). On: runs deliver 32-bit floats in
    // native byte order, interleaved, full scale 1.0, and GetBitsPerSample
    // says 32.
    virtual void SetFloatOutput(bool Value) = 0;
    virtual bool FloatOutput() const = 0;

  protected:
    ~TFloatOutput() = default;
};

}  // namespace quillet
