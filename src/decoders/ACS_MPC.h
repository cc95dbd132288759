// TMPCIn: the source for Musepack files. It decodes through libmpcdec (bound
// at run time, libmpdec.h) to floats and delivers little-endian integer PCM
// of OutBitsPerSample bits (8, 16, 24 or 32) with clipping. While opening it
// reads the APEv2 tag at the end of the file into the inherited APEv2Tags.
//
// A NOTE ON THREADS (see ACS_Classes.h): OpenSource, CloseSource and
// SetOutBitsPerSample run under FOpenLock; the library loader takes
// LibLoadLock. ReadBlock and SeekToSample run under FDataLock (worker, or the
// main thread positioning) and take no lock of their own.
//
// x86-64 runs with every floating-point exception masked (SSE default), which
// is what the decoder expects; nothing has to be set at start-up.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "float_output.h"
#include "libmpdec.h"
#include "tagged_file_in.h"

namespace quillet {

class TMPCIn : public TAuTaggedFileIn, public TFloatOutput {
  public:
    explicit TMPCIn(TComponent* owner = nullptr);
    ~TMPCIn() override;
    const char* ClassName() const override { return "TMPCIn"; }

    uint32_t OutBitsPerSample() {
        std::lock_guard<std::recursive_mutex> lock(FOpenLock);
        return FBitsPerSample;
    }
    // Ignored while a file is open. Otherwise clamped to 8..32 and rounded up
    // to a whole byte: 12 gives 16, 0 gives 8, 40 gives 32.
    void SetOutBitsPerSample(uint32_t Value);

    // The decoder's own floats. Ignored while a file is open, as
    // SetOutBitsPerSample; turning it off again gives 16 bits.
    void SetFloatOutput(bool Value) override;
    bool FloatOutput() const override { return FFloatOutput; }

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    // Raises "libmpcdec.so.6 library could not be loaded.", "File name is not
    // assigned", the file stream's error, or the decoder's EMPCDecException;
    // after a failure the input stays closed with FIsValid false.
    void OpenSource() override;
    void CloseSource() override;

  private:
    std::unique_ptr<TMPCDecoder> FDecoder;  // exists while FOpenCount > 0
    // Room for Extra more bytes after FOutSize (grows FOut); returns where.
    uint8_t* Reserve(size_t Extra);
    // Decoded bytes 0..FOutSize; FOut[FOutStart..FOutSize) is not handed out
    // yet (the carry-over). The latest block handed out lies just before
    // FOutStart, so it stays valid until the next request.
    std::unique_ptr<uint8_t[]> FOut;
    size_t FOutSize = 0;
    size_t FOutStart = 0;
    size_t FOutCapacity = 0;
    std::vector<float> FDecodeBuffer;  // one frame, MPCDecodeBufferLength floats
    // The decoder has ended (or failed) at this position; a seek clears it.
    bool FDecoderDone = false;
    bool FFloatOutput = false;  // under FOpenLock
};

// Writes Count floats to Out (Count * Bits / 8 bytes) as little-endian
// integers of Bits (8, 16, 24, 32): x >= 1.0 gives the maximum, x > -1.0
// floor(x * scale) (128 offset by 128 at 8 bits, 32767 at 16, 2147483647
// shifted right by 8 at 24 and 2147483647 at 32), anything else (NaN too) the
// minimum.
void ConvertMPCSamples(const float* Samples, size_t Count, uint32_t Bits, uint8_t* Out);

}  // namespace quillet
