// TFLACIn: the source for FLAC files. It feeds libFLAC's stream decoder from
// its own stream through eight callbacks, interleaves each decoded frame into
// PCM of the stream's bit depth (rounded up to whole bytes) and copies six
// Vorbis comments into VorbisTags. libFLAC is bound at run time (FLAC.h).
//
// A NOTE ON THREADS (see ACS_Classes.h): OpenSource/CloseSource run under
// FOpenLock, on the main thread (format queries) or the worker (run start and
// end); ReadBlock and SeekToSample run under FDataLock, on the worker or on
// the main thread (positioning). The decoder's callbacks run on whichever of
// those threads drives the decoder at the time, inside that lock. Every field
// below except FCheckMD5Signature is touched only there.
//
// Decisions the format leaves to us:
// - A seek lands on the requested sample exactly: libFLAC hands over the
//   target frame already trimmed to it, and the window keeps that frame.
// - A stream whose STREAMINFO gives no total sample count has an unknown size
//   (FDataSize -1) and plays until the decoder reports the end.
// - Bit depths that are not a multiple of 8 (4..31) are delivered in the next
//   whole byte width with the samples shifted up, as WAV files carry them;
//   8-bit streams are delivered for any channel count.
// - Byte offsets are 64-bit throughout, so files over 4 GiB seek correctly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "ACS_Classes.h"
#include "ACS_Tags.h"
#include <vector>

#include "FLAC.h"

namespace quillet {

class TFLACIn : public TAuFileIn {
  public:
    explicit TFLACIn(TComponent* owner = nullptr);
    ~TFLACIn() override;
    const char* ClassName() const override { return "TFLACIn"; }

    // Cleared and refilled by every open: the first comment with a key wins,
    // and a comment block sets all six fields.
    TVorbisTags& VorbisTags() { return *FVorbisTags; }
    // Asks the decoder to verify the stream's MD5 signature (default off).
    // Any seek turns it off for good: a partial decode cannot be checked.
    bool CheckMD5Signature() const { return FCheckMD5Signature.load(); }
    void SetCheckMD5Signature(bool v) { FCheckMD5Signature = v; }

    // A metadata block's length field as libFLAC is to read it, where the
    // file's own is impossible (FindLengthRepairs).
    struct TLengthRepair {
        int64_t Offset;  // of the 3-byte length field
        uint8_t Bytes[3];
    };

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    void OpenSource() override;
    void CloseSource() override;

  private:
    friend struct TFLACCallbacks;

    // Runs process_single until a frame has been written to FBlockData;
    // false at the end of the data. Raises on a decoder failure.
    bool DecodeFrame();
    // Stores one decoded frame, interleaved (the write callback's work).
    void StoreFrame(const FLAC__Frame* frame, const FLAC__int32* const buffer[]);
    void ApplyMetadata(const FLAC__StreamMetadata* block);
    // The window onto a frame just decoded: all of it, less the frames
    // before a pending seek target.
    void OpenWindow();
    // Repositions the decoder at SampleNum; false when libFLAC refuses.
    bool SeekDecoder(uint64_t sample);
    // Absolute sample of the next frame ReadBlock would deliver (-1 unknown).
    int64_t NextSample() const;
    uint32_t OutFrameBytes() const { return FChannels * (FBitsPerSample >> 3); }

    std::vector<TLengthRepair> FRepairs;  // laid over what the read callback reads
    static std::vector<TLengthRepair> FindLengthRepairs(TStream& s);
    bool FCommentsSeen = false;           // the first comment block wins

    Owned<TVorbisTags> FVorbisTags;
    std::atomic<bool> FCheckMD5Signature{false};  // main thread sets it; also off after a seek
    FLAC__StreamDecoder* FDecoder = nullptr;
    bool FMetadataDone = false;             // the block marked last has been seen
    bool FReadingMetadata = false;          // only the open's own metadata pass is taken in
    int32_t FSkipFrames = 0;                // frames to skip in the frame decoded after a seek
    int64_t FSeekTarget = -1;               // pending seek target, until its frame arrives
    std::unique_ptr<uint8_t[]> FBlockData;  // interleaved PCM of the last frame
    int32_t FBlockCapacity = 0;             // only grows
    int32_t FBlockBytes = 0;
    int32_t FBlockSamples = 0;
    int64_t FBlockFirstSample = -1;  // absolute sample of FBlockData's first frame
    uint32_t FStreamBits = 0;        // bits per sample as coded (FBitsPerSample rounds up)
    uint64_t FTotalSamples = 0;      // from STREAMINFO; 0 = unknown
    bool FFrameWritten = false;      // the write callback stored a frame in this call
    bool FAtStreamEnd = false;       // a seek went to the very end
    bool FSeekFrameReady = false;    // FBlockData holds the frame a seek decoded
};

}  // namespace quillet
