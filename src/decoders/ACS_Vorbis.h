// TVorbisIn: the source for Ogg Vorbis files. It decodes through libvorbisfile
// (bound at run time, vorbis_lib.h), always delivers 16-bit signed
// little-endian interleaved PCM, and copies the stream's comments into its
// own TVorbisTags set while opening.
//
// A NOTE ON THREADS (see ACS_Classes.h): OpenSource/CloseSource run under
// FOpenLock, on the main thread (format queries) or the worker (run start and
// end); the library loaders take LibLoadLock inside it, never the other way
// round. ReadBlock and SeekToSample run under FDataLock and take no lock of
// their own. The library calls back into the stream callbacks only from inside
// those operations, so the callbacks share their locks.
//
// x86-64 runs with every floating-point exception masked (SSE default), which
// is what the codec library expects; nothing has to be set at start-up.
#pragma once

#include <cstdint>

#include "ACS_Classes.h"
#include "ACS_Tags.h"
#include "float_output.h"
#include "vorbis_lib.h"

namespace quillet {

// What a run raises when a chained file's next link changes channels or rate.
extern const char kFormatChanged[];

class TVorbisIn : public TAuFileIn, public TFloatOutput {
  public:
    explicit TVorbisIn(TComponent* owner = nullptr);
    ~TVorbisIn() override;
    const char* ClassName() const override { return "TVorbisIn"; }

    // Cleared and refilled by every successful open; keeps its values when an
    // open fails. Read it on the main thread after the source has opened.
    TVorbisTags& VorbisTags() { return *FVorbisTags; }

    // The decoder's own floats. Ignored while a file is open.
    void SetFloatOutput(bool Value) override;
    bool FloatOutput() const override { return FFloatOutput; }

    // Bytes of decoded PCM kept between deliveries.
    static constexpr int32_t kPcmBufferBytes = 12288;

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    // Raises "<file> library could not be loaded." for the first missing
    // library and "Failed to open an ogg file: <code>" for a stream the
    // library refuses; a file that cannot be opened only leaves FIsValid
    // false.
    void OpenSource() override;
    void CloseSource() override;

  private:
    // The stream callbacks; the data source is the TVorbisIn. Offsets are
    // 64-bit all the way, so files over 2 GiB decode and seek.
    static size_t VorbisRead(void* Destination, size_t Size, size_t Count, void* Source);
    static int VorbisSeek(void* Source, ogg_int64_t Offset, int Whence);
    static int VorbisClose(void* Source);
    static long VorbisTell(void* Source);

    OggVorbis_File FVorbisFile{};  // valid while FOpenCount > 0
    // Decoded PCM; bytes FBlockStart..FBlockEnd (1-based) not yet handed out.
    uint8_t FPcmBuffer[kPcmBufferBytes];
    // Whether a chained link has this run's channels and rate.
    bool SameFormat(int section);

    int FCurrentSection = -1;  // the logical bitstream ov_read reports
    int FCheckedSection = -1;  // the last link found in this run's format
    // The data ended at a link in another format: the next request that
    // finds nothing pending raises kFormatChanged (once).
    bool FFormatChanged = false;
    // The library has no more data for this position. Kept apart from FAtEnd
    // so that bytes still in the buffer are delivered first; a seek clears it.
    bool FDecoderDone = false;
    // Seeking is offered to the library only when the stream can seek and its
    // size holds: it scans back from the end for the last page, and a size
    // that lies sends that scan through terabytes of nothing.
    bool FSeekable = false;
    bool FFloatOutput = false;  // under FOpenLock
    Owned<TVorbisTags> FVorbisTags;
};

}  // namespace quillet
