// TWaveIn: the source for WAV files. It walks the RIFF chunk list for the
// format and the audio data and delivers PCM: plain PCM as stored, IMA and
// Microsoft ADPCM, A-law and mu-law decoded to 16-bit, 32/64-bit float turned
// into 32-bit integers, and MPEG layer-3 payloads converted to 16-bit PCM in
// memory by TWaveConverter first. RF64/BW64 files give their sizes in a
// "ds64" chunk; a data size of 0, or one past the end of the file, plays to
// the end of the file with the size marked as an estimate.
//
// A NOTE ON THREADS (see ACS_Classes.h): OpenSource/CloseSource run under
// FOpenLock on the main thread (format queries) or the worker (run start and
// end); ReadBlock and SeekToSample run under FDataLock, on the worker or on
// the main thread (positioning). Every field below is touched only under one
// of those locks, in that order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ACS_Classes.h"

namespace quillet {

// What the header walk found.
enum class TWaveFormatKind : uint8_t {
    wkUnknown = 0,  // nothing usable, or an unsupported format
    wkPcm = 1,
    wkImaAdpcm = 2,
    wkMsAdpcm = 3,
    wkMpegLayer3 = 4,
    wkFloat = 5,
    wkExtensiblePcm = 6,
    wkExtensibleFloat = 7,
    wkALaw = 8,   // G.711, format tag 6
    wkMuLaw = 9,  // G.711, format tag 7
};

// True when the four bytes match, each pair equal or differing by exactly 32
// (letter case is ignored; a space also matches 0x00 and 0x40).
bool SameChunkId(const uint8_t* id, const char* expected);

// Reads until `count` bytes or the stream's end; the bytes read.
int64_t ReadUpTo(TStream& s, void* buffer, int64_t count);

class TWaveIn : public TAuFileIn {
  public:
    explicit TWaveIn(TComponent* owner = nullptr);
    ~TWaveIn() override;
    const char* ClassName() const override { return "TWaveIn"; }

    // The kind the header walk found (opens the file on demand).
    TWaveFormatKind Kind();
    // Stream offset of the first audio byte (of the converted WAV for MPEG
    // layer-3); 0 before a successful walk.
    uint16_t HeaderSize() const { return FHeaderSize; }
    // As the base gives it, and 0 (not unknown) for an empty data chunk.
    int64_t GetSampleCount() override;

    // The header walk gives up once it has consumed this many bytes.
    static constexpr int64_t kMaxHeaderBytes = 8192;
    // Largest "fmt " body the walk accepts; a larger one is not a WAV we know.
    static constexpr uint32_t kMaxFormatBytes = 4096;
    // Size of the PCM block store (larger when one ADPCM block decodes to more).
    static constexpr int32_t kBlockBytes = 16384;
    // PCM decoded from one read of ADPCM blocks (at least one block).
    static constexpr int32_t kAdpcmBatchBytes = 65536;

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    void OpenSource() override;
    void CloseSource() override;

  private:
    // The walk over FSourceStream from its position; sets FKind, the format
    // fields, FDataSize and FHeaderSize. False leaves FKind wkUnknown.
    bool ParseWaveHeader();
    // The data chunk's extent from its stored size and what the stream holds
    // past the header (-1 unknown); sets FDataBytes, FDataLeft, FDataSize.
    void SettleDataSize(uint64_t stored, int64_t remaining);
    // Checks the walk's result against what the decoders can play and sizes
    // the block store; an unplayable file becomes wkUnknown.
    void SettleFormat();
    // Converts an MPEG layer-3 payload; false when it cannot be converted.
    bool OpenConverted();
    // Any other codec: FFmpeg decodes the file into a PCM WAV in memory and
    // the walk reads that (wave_ffmpeg.cpp); false when it cannot.
    bool ParseThroughFfmpeg();
    int32_t DecodedBlockBytes() const;
    // Reads up to `count` bytes of the data chunk (never past its end).
    int64_t ReadData(void* buffer, int64_t count);

    // Reads a batch of ADPCM blocks and decodes them into FBlock; the bytes
    // of PCM (0 at the end of the data).
    int32_t DecodeAdpcmBlocks();
    // One block from `in` to `out`; the bytes written (-1: an MS block
    // whose predictor index has no coefficient pair).
    int32_t DecodeImaMono(const uint8_t* in, uint8_t* out) const;
    int32_t DecodeImaStereo(const uint8_t* in, uint8_t* out) const;
    int32_t DecodeMsMono(const uint8_t* in, uint8_t* out) const;
    int32_t DecodeMsStereo(const uint8_t* in, uint8_t* out) const;

    TWaveFormatKind FKind = TWaveFormatKind::wkUnknown;
    std::vector<uint8_t> FBlock;  // decoded PCM; bytes FBlockStart..FBlockEnd (1-based) pending
    std::vector<uint8_t> FCodedBlock;  // one ADPCM block as read, zero-filled past a short read
    uint16_t FHeaderSize = 0;
    int64_t FDataBytes = -1;  // bytes stored in the data chunk; -1 to the stream's end
    int64_t FDataLeft = -1;   // of those, not read yet (-1: no bound)
    uint16_t FImaBlockAlign = 0;
    uint16_t FImaSamplesPerBlock = 0;
    uint32_t FImaSampleCount = 0;
    uint16_t FMsBlockAlign = 0;
    uint16_t FMsSamplesPerBlock = 0;
    uint32_t FMsSampleCount = 0;
    uint16_t FMsCoefCount = 0;
    int16_t FMsCoefs[32][2] = {};
    bool FSingleFloat = false;
    std::unique_ptr<TMemoryStream> FConverted;  // the converted WAV (wkMpegLayer3)
    TStream* FOriginalStream = nullptr;         // the stream in use before conversion
    bool FOriginalGiven = false;
};

}  // namespace quillet
