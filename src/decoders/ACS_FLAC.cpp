#include "ACS_FLAC.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "id3v2_size.h"
#include "replay_gain.h"

namespace quillet {
namespace {

const char kNotOpened[] = "The Stream is not opened";
const char kReadError[] = "Error reading FLAC file";

bool IsMetadataState(FLAC__StreamDecoderState state) {
    return state == FLAC__STREAM_DECODER_SEARCH_FOR_METADATA ||
           state == FLAC__STREAM_DECODER_READ_METADATA;
}

bool IsFrameState(FLAC__StreamDecoderState state) {
    return state == FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC ||
           state == FLAC__STREAM_DECODER_READ_FRAME;
}

// Interleaves one frame into `out`, `Width` bytes per sample, little-endian.
// Values of a stream coded in fewer bits are shifted up to the top of the
// width; 8-bit output is unsigned.
template <int Width>
void Interleave(uint8_t* out, const FLAC__int32* const buffer[], uint32_t channels,
                uint32_t samples, uint32_t shift) {
    for (uint32_t i = 0; i < samples; ++i) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            uint32_t v = static_cast<uint32_t>(buffer[ch][i]) << shift;
            if constexpr (Width == 1) {
                *out++ = static_cast<uint8_t>(v + 128);
            } else {
                for (int b = 0; b < Width; ++b) {
                    *out++ = static_cast<uint8_t>(v);
                    v >>= 8;
                }
            }
        }
    }
}

// The common case, written out so the compiler keeps both channels in
// registers.
void InterleaveStereo16(uint8_t* out, const FLAC__int32* const buffer[], uint32_t samples,
                        uint32_t shift) {
    const FLAC__int32* left = buffer[0];
    const FLAC__int32* right = buffer[1];
    for (uint32_t i = 0; i < samples; ++i) {
        const uint32_t l = static_cast<uint32_t>(left[i]) << shift;
        const uint32_t r = static_cast<uint32_t>(right[i]) << shift;
        out[0] = static_cast<uint8_t>(l);
        out[1] = static_cast<uint8_t>(l >> 8);
        out[2] = static_cast<uint8_t>(r);
        out[3] = static_cast<uint8_t>(r >> 8);
        out += 4;
    }
}

// Reads exactly `n` bytes at `offset`; false past the stream's end.
bool ReadAt(TStream& s, int64_t offset, void* out, int64_t n) {
    return s.Seek(offset, TSeekOrigin::soBeginning) == offset && s.Read(out, n) == n;
}

uint32_t LittleU32(const uint8_t* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

uint32_t BigU32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
}

constexpr int kVorbisCommentBlock = 4;
constexpr int kPictureBlock = 6;

// The length a Vorbis comment or picture block's content really takes,
// walked field by field from `at` (its first content byte); -1 when it
// does not fit in the stream or has too many fields to walk.
int64_t ContentLength(TStream& s, int64_t size, int type, int64_t at) {
    uint8_t b[4];
    int64_t p = at;
    // Skips a field of `count` bytes; its length is the 4 bytes at p.
    auto lengthField = [&](bool little) -> bool {
        if (p + 4 > size || !ReadAt(s, p, b, 4)) return false;
        p += 4 + (little ? LittleU32(b) : BigU32(b));
        return p <= size;
    };
    if (type == kVorbisCommentBlock) {
        if (!lengthField(true)) return -1;  // the vendor string
        if (p + 4 > size || !ReadAt(s, p, b, 4)) return -1;
        const uint32_t count = LittleU32(b);
        p += 4;
        if (count > (1u << 16)) return -1;  // beyond any tagger's: not walked
        for (uint32_t i = 0; i < count; ++i)
            if (!lengthField(true)) return -1;
    } else {
        p += 4;                                                     // picture type
        if (!lengthField(false) || !lengthField(false)) return -1;  // MIME type, description
        p += 16;                                                    // size, depth, colours
        if (!lengthField(false)) return -1;                         // the picture
    }
    return p - at;
}

// The walk over the metadata blocks that FindLengthRepairs makes: whether
// the blocks from a position chain, block by block, to the first frame.
class TBlockChain {
  public:
    TBlockChain(TStream& s, int64_t size) : S(s), Size(size) {}
    std::vector<TFLACIn::TLengthRepair> Repairs;  // in reverse order of position

    bool From(int64_t at, bool first) {
        if (++FSteps > 4096) return false;  // a hostile chain is read as it is
        if (FFailed.count(at) != 0) return false;
        uint8_t h[4];
        if (at + 4 > Size || !ReadAt(S, at, h, 4)) return false;
        const int type = h[0] & 0x7F;
        const bool last = (h[0] & 0x80) != 0;
        if (type > kPictureBlock || (type == 0) != first) return Fail(at);
        const int64_t length = int64_t{h[1]} << 16 | h[2] << 8 | h[3];
        int64_t real = -1;
        if (type == kVorbisCommentBlock || type == kPictureBlock) {
            real = ContentLength(S, Size, type, at + 4);
            if (real >= (1 << 24)) real = -1;
        }
        // A length the content overruns is impossible: the content's own
        // end comes first. Otherwise the length field is believed first.
        const bool realFirst = real > length;
        for (int turn = 0; turn < 2; ++turn) {
            const int64_t take = (turn == 0) == realFirst ? real : length;
            if (take < 0 || (turn == 1 && real == length)) continue;
            const int64_t end = at + 4 + take;
            if (end > Size || !(last ? FrameAt(end) : From(end, false))) continue;
            if (take != length)
                Repairs.push_back({at + 1,
                                   {static_cast<uint8_t>(take >> 16),
                                    static_cast<uint8_t>(take >> 8), static_cast<uint8_t>(take)}});
            return true;
        }
        return Fail(at);
    }

  private:
    bool Fail(int64_t at) {
        FFailed.insert(at);
        return false;
    }
    // The first frame's sync code (or the end: a stream of no frames).
    bool FrameAt(int64_t at) {
        uint8_t b[2];
        if (at == Size) return true;
        return at + 2 <= Size && ReadAt(S, at, b, 2) && b[0] == 0xFF && (b[1] & 0xFE) == 0xF8;
    }
    TStream& S;
    const int64_t Size;
    std::set<int64_t> FFailed;
    int FSteps = 0;
};

}  // namespace

// A Vorbis comment or picture block whose length field cannot be right (its
// content runs past it, or the blocks after it do not chain to the first
// frame while they do from its content's real end) is read by its content,
// as the common tag libraries read it. Nothing is changed in a chain that
// holds as it is, nor in one that holds no other way either. The stream's
// position is restored; nothing is found in a stream that cannot seek.
std::vector<TFLACIn::TLengthRepair> TFLACIn::FindLengthRepairs(TStream& s) {
    const int64_t size = s.Size();
    if (size < 0 || s.Position() != 0) return {};
    uint8_t h[10];
    int64_t at = 0;
    // libFLAC skips an ID3v2 tag before the stream.
    if (ReadAt(s, 0, h, 10)) at = Id3v2Size(h, 10);
    TBlockChain chain(s, size);
    const bool chains =
        ReadAt(s, at, h, 4) && std::equal(h, h + 4, "fLaC") && chain.From(at + 4, true);
    s.Seek(0, TSeekOrigin::soBeginning);
    return chains ? chain.Repairs : std::vector<TLengthRepair>{};
}

// libFLAC's callbacks. They run inside C code, so nothing may escape them: a
// stream error becomes the status libFLAC expects.
struct TFLACCallbacks {
    static TFLACIn& Self(void* client) { return *static_cast<TFLACIn*>(client); }

    static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                              size_t* bytes, void* client) noexcept {
        try {
            TStream& s = *Self(client).FSourceStream;
            const int64_t size = s.Size();
            if (size >= 0 && s.Position() >= size) {
                *bytes = 0;
                return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
            }
            const std::vector<TFLACIn::TLengthRepair>& repairs = Self(client).FRepairs;
            const int64_t from = repairs.empty() ? 0 : s.Position();
            const int64_t n = s.Read(buffer, static_cast<int64_t>(*bytes));
            *bytes = n > 0 ? static_cast<size_t>(n) : 0;
            for (const TFLACIn::TLengthRepair& r : repairs)
                for (int64_t k = 0; k < 3; ++k)
                    if (r.Offset + k >= from && r.Offset + k < from + n)
                        buffer[r.Offset + k - from] = r.Bytes[k];
            return n > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE
                         : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        } catch (...) {
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
    }

    static FLAC__StreamDecoderSeekStatus Seek(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                              void* client) noexcept {
        TFLACIn& self = Self(client);
        if (!self.FCanSeek) return FLAC__STREAM_DECODER_SEEK_STATUS_UNSUPPORTED;
        try {
            // The whole 64-bit offset, checked against the stream's own size.
            TStream& s = *self.FSourceStream;
            const int64_t size = s.Size();
            if (offset > static_cast<FLAC__uint64>(INT64_MAX))
                return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
            const auto target = static_cast<int64_t>(offset);
            if (size >= 0 && target > size) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
            if (s.Seek(target, TSeekOrigin::soBeginning) != target)
                return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
            return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                              void* client) noexcept {
        TFLACIn& self = Self(client);
        if (self.FDataSize == 0) return FLAC__STREAM_DECODER_TELL_STATUS_UNSUPPORTED;
        try {
            const int64_t pos = self.FSourceStream->Position();
            if (pos < 0) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
            *offset = static_cast<FLAC__uint64>(pos);
            return FLAC__STREAM_DECODER_TELL_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderLengthStatus Length(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                  void* client) noexcept {
        try {
            const int64_t size = Self(client).FSourceStream->Size();
            if (size < 0) return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
            *length = static_cast<FLAC__uint64>(size);
            return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
        }
    }

    static FLAC__bool Eof(const FLAC__StreamDecoder*, void* client) noexcept {
        try {
            TStream& s = *Self(client).FSourceStream;
            const int64_t size = s.Size();
            return size >= 0 && s.Position() >= size;
        } catch (...) {
            return true;
        }
    }

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[],
                                                void* client) noexcept {
        try {
            Self(client).StoreFrame(frame, buffer);
        } catch (...) {
            // Out of memory for the block store: the frame is lost, as a
            // damaged one would be.
            Self(client).FIsValid = false;
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block,
                         void* client) noexcept {
        try {
            Self(client).ApplyMetadata(block);
        } catch (...) {
            Self(client).FIsValid = false;
        }
    }

    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus,
                      void* client) noexcept {
        Self(client).FIsValid = false;
    }
};

TFLACIn::TFLACIn(TComponent* owner) : TAuFileIn(owner), FVorbisTags(MakeOwned<TVorbisTags>()) {}

TFLACIn::~TFLACIn() {
    CloseSource();
}

void TFLACIn::ApplyMetadata(const FLAC__StreamMetadata* block) {
    // After the open, libFLAC re-reads the headers only when a failed seek
    // made us reset it; the format and the run's (perhaps narrowed) size stay.
    if (!FReadingMetadata) return;
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
        const FLAC__StreamMetadata_StreamInfo& info = block->data.stream_info;
        FSampleRate = info.sample_rate;
        FChannels = info.channels;
        FStreamBits = info.bits_per_sample;
        FBitsPerSample = (FStreamBits + 7) / 8 * 8;
        FTotalSamples = info.total_samples;
        FDataSize = FTotalSamples == 0
                        ? -1
                        : static_cast<int64_t>(FTotalSamples) * (FBitsPerSample / 8) * FChannels;
    } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT && !FCommentsSeen) {
        // A second comment block is ignored, as the common tag libraries do.
        FCommentsSeen = true;
        const FLAC__StreamMetadata_VorbisComment& vc = block->data.vorbis_comment;
        std::vector<std::string> comments;
        comments.reserve(vc.num_comments);
        for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
            const FLAC__StreamMetadata_VorbisComment_Entry& e = vc.comments[i];
            if (e.entry)
                comments.emplace_back(reinterpret_cast<const char*>(e.entry), e.length);
            else
                comments.emplace_back();
        }
        FillVorbisTagsFlac(*FVorbisTags, comments);
        FReplayGain = ReplayGainFromComments(comments);
    }
    FMetadataDone = block->is_last;
}

void TFLACIn::StoreFrame(const FLAC__Frame* frame, const FLAC__int32* const buffer[]) {
    const FLAC__FrameHeader& h = frame->header;
    // A frame that disagrees with STREAMINFO cannot be delivered in the
    // stream's format (and may have fewer channel buffers than we would read).
    if (h.channels != FChannels || h.bits_per_sample != FStreamBits || FBitsPerSample == 0) {
        FIsValid = false;
        return;
    }
    const uint32_t width = FBitsPerSample / 8;
    const uint32_t shift = FBitsPerSample - FStreamBits;
    const int32_t bytes = static_cast<int32_t>(h.blocksize * width * h.channels);
    if (FBlockCapacity < bytes) {
        FBlockData.reset();
        FBlockCapacity = 0;
        FBlockData = std::make_unique<uint8_t[]>(static_cast<size_t>(bytes));
        FBlockCapacity = bytes;
    }
    uint8_t* out = FBlockData.get();
    switch (width) {
        case 1:
            Interleave<1>(out, buffer, h.channels, h.blocksize, shift);
            break;
        case 2:
            if (h.channels == 2)
                InterleaveStereo16(out, buffer, h.blocksize, shift);
            else
                Interleave<2>(out, buffer, h.channels, h.blocksize, shift);
            break;
        case 3:
            Interleave<3>(out, buffer, h.channels, h.blocksize, shift);
            break;
        default:
            Interleave<4>(out, buffer, h.channels, h.blocksize, shift);
            break;
    }
    FBlockSamples = static_cast<int32_t>(h.blocksize);
    FBlockBytes = bytes;
    FBlockFirstSample = h.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                            ? static_cast<int64_t>(h.number.sample_number)
                            : -1;
    FFrameWritten = true;
}

void TFLACIn::OpenSource() {
    RequireLibraries({&FLACLib()});
    const TFLACLib& lib = FLACLib();
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    // Counted at once: a later failure leaves it open (and empty) until the
    // run's end or the next file name closes it.
    ++FOpenCount;
    FSkipFrames = 0;
    FSeekTarget = -1;
    FAtStreamEnd = false;
    FSeekFrameReady = false;
    FChannels = FSampleRate = FBitsPerSample = FStreamBits = 0;
    FTotalSamples = 0;
    FDataSize = 0;
    FReplayGain = {};
    FBlockData.reset();
    FBlockCapacity = FBlockBytes = FBlockSamples = 0;
    FBlockFirstSample = -1;
    if (!FStreamGiven && FFileName.empty()) throw EAuException("File name is not assigned");
    OpenFileStream();
    FRepairs.clear();
    try {
        if (FCanSeek) FRepairs = FindLengthRepairs(*FSourceStream);
    } catch (const std::exception&) {
        FRepairs.clear();  // read as it is; libFLAC meets what is wrong
        FSourceStream->Seek(0, TSeekOrigin::soBeginning);
    }
    FCommentsSeen = false;
    FIsValid = true;
    FDecoder = lib.FLAC__stream_decoder_new();
    if (!FDecoder) throw EAuException("Failed to initialize the FLAC decoder.");
    if (!lib.FLAC__stream_decoder_set_md5_checking(FDecoder, FCheckMD5Signature.load()))
        throw EAuException("Internal error 113, please report to RerIV developers");
    lib.FLAC__stream_decoder_set_metadata_respond_all(FDecoder);
    if (lib.FLAC__stream_decoder_init_stream(FDecoder, TFLACCallbacks::Read, TFLACCallbacks::Seek,
                                             TFLACCallbacks::Tell, TFLACCallbacks::Length,
                                             TFLACCallbacks::Eof, TFLACCallbacks::Write,
                                             TFLACCallbacks::Metadata, TFLACCallbacks::Error,
                                             this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        throw EAuException("Failed to set up the FLAC decoder.");

    FVorbisTags->Clear();
    FMetadataDone = false;
    FReadingMetadata = true;
    // Stop also when the decoder leaves the headers without a block marked
    // last (a damaged or foreign stream), so the loop cannot outlive them.
    while (!FMetadataDone) {
        if (!lib.FLAC__stream_decoder_process_single(FDecoder) ||
            !IsMetadataState(lib.FLAC__stream_decoder_get_state(FDecoder)))
            break;
    }
    FReadingMetadata = false;
    // A stream without a rate or channels has no sound a sink could play.
    if (!FMetadataDone || FChannels == 0 || FSampleRate == 0 ||
        !IsFrameState(lib.FLAC__stream_decoder_get_state(FDecoder)))
        FIsValid = false;
    FBlockData.reset();
    FBlockCapacity = 0;
}

void TFLACIn::CloseSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount <= 0) return;
    if (FDecoder) {
        const TFLACLib& lib = FLACLib();
        lib.FLAC__stream_decoder_finish(FDecoder);
        lib.FLAC__stream_decoder_delete(FDecoder);
        FDecoder = nullptr;
    }
    FBlockData.reset();
    FBlockCapacity = FBlockBytes = FBlockSamples = 0;
    FSeekFrameReady = false;
    CloseFileStream();
    FOpenCount = 0;
}

bool TFLACIn::DecodeFrame() {
    const TFLACLib& lib = FLACLib();
    for (;;) {
        FFrameWritten = false;
        const bool ok = lib.FLAC__stream_decoder_process_single(FDecoder);
        const FLAC__StreamDecoderState state = lib.FLAC__stream_decoder_get_state(FDecoder);
        if (!ok) {
            if (state == FLAC__STREAM_DECODER_END_OF_STREAM) return false;
            throw EAuException(kReadError);
        }
        if (FFrameWritten) return true;
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) return false;
        // Headers again (after a reset), or a frame the decoder or we had to
        // drop: each call consumes input, so this ends.
        if (IsMetadataState(state)) continue;
        if (IsFrameState(state)) {
            if (!FBlockData && !TFLACCallbacks::Eof(FDecoder, this))
                throw EAuException("Sinc lost or corrupt data");
            continue;
        }
        // Aborted, or a state that decodes nothing more.
        throw EAuException(kReadError);
    }
}

void TFLACIn::OpenWindow() {
    FBlockStart = 0;
    FBlockEnd = FBlockBytes;
    if (FSeekTarget >= 0) {
        // Frames of this block before the target (none when libFLAC trimmed
        // the block to it, as it does).
        const int64_t skip = FBlockFirstSample >= 0 ? FSeekTarget - FBlockFirstSample : 0;
        FSkipFrames = skip > 0 ? static_cast<int32_t>(std::min<int64_t>(skip, INT32_MAX)) : 0;
        FSeekTarget = -1;
    }
}

void TFLACIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    if (!FActive) throw EAuException(kNotOpened);
    if (!FDecoder || FAtStreamEnd) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    if (FBlockStart >= FBlockEnd) {
        FBlockStart = 0;
        FBlockEnd = 0;
        if (FSeekFrameReady) {
            FSeekFrameReady = false;
        } else if (!DecodeFrame()) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
        OpenWindow();
    }
    if (FSkipFrames != 0) {
        const int64_t start =
            FBlockStart + static_cast<int64_t>(FSkipFrames) * static_cast<int64_t>(OutFrameBytes());
        FSkipFrames = 0;
        if (start >= FBlockEnd) throw EAuException("Seek failed");
        FBlockStart = static_cast<int32_t>(start);
    }
    const uint32_t frameBytes = OutFrameBytes();
    if (frameBytes != 0) Bytes -= Bytes % frameBytes;
    const auto pending = static_cast<uint32_t>(FBlockEnd - FBlockStart);
    if (pending < Bytes) Bytes = pending;
    Buffer = FBlockData.get() + FBlockStart;
    FBlockStart += static_cast<int32_t>(Bytes);
}

int64_t TFLACIn::NextSample() const {
    if (FSeekFrameReady) return std::max(FSeekTarget, FBlockFirstSample);
    if (FBlockFirstSample < 0 || OutFrameBytes() == 0) return -1;
    if (FBlockStart < FBlockEnd)
        return FBlockFirstSample + FSkipFrames + FBlockStart / OutFrameBytes();
    return FBlockFirstSample + FBlockSamples;
}

bool TFLACIn::SeekDecoder(uint64_t sample) {
    const TFLACLib& lib = FLACLib();
    FFrameWritten = false;
    FSeekTarget = static_cast<int64_t>(sample);
    if (lib.FLAC__stream_decoder_seek_absolute(FDecoder, sample)) return true;
    FSeekTarget = -1;
    return false;
}

bool TFLACIn::SeekToSample(int64_t& SampleNum) {
    FCheckMD5Signature = false;
    if (!FDecoder || SampleNum < 0) return false;
    const int64_t before = NextSample();
    FBlockStart = 0;
    FBlockEnd = 0;
    FSkipFrames = 0;
    FAtStreamEnd = false;
    FSeekFrameReady = false;
    // libFLAC refuses a target at or past the last sample; that target is
    // simply the end of the data.
    if (FTotalSamples != 0 && static_cast<uint64_t>(SampleNum) >= FTotalSamples) {
        FAtStreamEnd = true;
        return true;
    }
    if (SeekDecoder(static_cast<uint64_t>(SampleNum))) {
        // libFLAC decodes the target frame while it seeks: keep it for the
        // next read (a run start empties the window after its first seek).
        FSeekFrameReady = FFrameWritten;
        return true;
    }
    // A failed seek leaves the decoder unusable: reset it (which rewinds it to
    // the start) and go back to where delivery was, so the caller's position
    // stays true.
    const TFLACLib& lib = FLACLib();
    lib.FLAC__stream_decoder_reset(FDecoder);
    if (before > 0 && SeekDecoder(static_cast<uint64_t>(before))) FSeekFrameReady = FFrameWritten;
    return false;
}

}  // namespace quillet
