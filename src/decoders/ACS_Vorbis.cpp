#include "ACS_Vorbis.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "replay_gain.h"

namespace quillet {

const char kFormatChanged[] = "The stream changes its channels or sample rate; it ends there";

TVorbisIn::TVorbisIn(TComponent* owner) : TAuFileIn(owner), FVorbisTags(MakeOwned<TVorbisTags>()) {}

TVorbisIn::~TVorbisIn() {
    CloseSource();
}

void TVorbisIn::SetFloatOutput(bool Value) {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount == 0) FFloatOutput = Value;
}

void TVorbisIn::OpenSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount != 0) return;
    RequireLibraries({&OggLib(), &VorbisLib(), &VorbisFileLib(), &VorbisEncLib()});
    TVorbisFileLib& lib = VorbisFileLib();
    FIsValid = true;
    FReplayGain = {};
    try {
        OpenFileStream();
    } catch (const std::exception&) {
        FIsValid = false;
        return;
    }
    FSeekable = FCanSeek && SizeHolds(*FSourceStream);
    const ov_callbacks callbacks{&VorbisRead, &VorbisSeek, &VorbisClose, &VorbisTell};
    FVorbisFile = OggVorbis_File{};
    int result = lib.ov_test_callbacks(this, &FVorbisFile, nullptr, 0, callbacks);
    // A failed test or open has already released the library's state
    // without calling VorbisClose, so the stream is ours to close. A failed
    // open is reported like a failed test: the state it leaves is empty and
    // ov_info would hand back nothing to read the format from.
    if (result == 0) result = lib.ov_test_open(&FVorbisFile);
    if (result != 0) {
        CloseFileStream();
        FIsValid = false;
        throw EAuException("Failed to open an ogg file: " + std::to_string(result));
    }
    try {
        std::vector<std::string> comments;
        if (const vorbis_comment* vc = lib.ov_comment(&FVorbisFile, -1); vc && vc->user_comments)
            for (int i = 0; i < vc->comments && vc->user_comments[i]; ++i)
                comments.emplace_back(vc->user_comments[i]);
        FillVorbisTagsOgg(*FVorbisTags, comments);
        FReplayGain = ReplayGainFromComments(comments);
        const vorbis_info* info = lib.ov_info(&FVorbisFile, -1);
        if (!info || info->channels <= 0 || info->rate <= 0)
            throw EAuException("Failed to open an ogg file: " + std::to_string(OV_EBADHEADER));
        FChannels = static_cast<uint32_t>(info->channels);
        FSampleRate = static_cast<uint32_t>(info->rate);
        FBitsPerSample = FFloatOutput ? 32 : 16;
        // A stream the library cannot measure (not seekable), or one whose
        // claimed length does not fit a byte count, has an unknown size.
        const int64_t frames = lib.ov_pcm_total(&FVorbisFile, -1);
        const int64_t frameBytes = FBitsPerSample / 8 * static_cast<int64_t>(FChannels);
        FDataSize = (frames < 0 || frames > std::numeric_limits<int64_t>::max() / frameBytes)
                        ? -1
                        : frames * frameBytes;
        // Opening a seekable chain leaves the library at its last link:
        // back to the first sample, so every link plays.
        if (FSeekable && lib.ov_streams(&FVorbisFile) > 1) lib.ov_pcm_seek(&FVorbisFile, 0);
    } catch (...) {
        lib.ov_clear(&FVorbisFile);  // closes the stream through VorbisClose
        FIsValid = false;
        throw;
    }
    FCurrentSection = -1;
    FCheckedSection = -1;
    FDecoderDone = false;
    FFormatChanged = false;
    ++FOpenCount;
}

void TVorbisIn::CloseSource() {
    std::lock_guard<std::recursive_mutex> lock(FOpenLock);
    if (FOpenCount <= 0) return;
    VorbisFileLib().ov_clear(&FVorbisFile);
    FOpenCount = 0;
}

void TVorbisIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    if (!FActive) throw EAuException("The Stream is not opened");
    if (FBlockStart > FBlockEnd) {
        FBlockStart = 1;
        FBlockEnd = 0;
        // ov_read hands out whole frames only and refuses a space smaller
        // than one, so the refill ends where no further frame fits.
        const int32_t frameBytes = static_cast<int32_t>(FBitsPerSample / 8 * FChannels);
        const int64_t dataSize = FDataSize;
        while (FOpenCount > 0 && !FDecoderDone && frameBytes > 0 &&
               kPcmBufferBytes - FBlockEnd >= frameBytes) {
            // ov_read_float counts frames, ov_read bytes.
            float** planes = nullptr;
            long got = FFloatOutput
                           ? VorbisFileLib().ov_read_float(
                                 &FVorbisFile, &planes, (kPcmBufferBytes - FBlockEnd) / frameBytes,
                                 &FCurrentSection)
                           : VorbisFileLib().ov_read(
                                 &FVorbisFile, reinterpret_cast<char*>(FPcmBuffer + FBlockEnd),
                                 kPcmBufferBytes - FBlockEnd, 0, 2, 1, &FCurrentSection);
            // A hole (a damaged page, or the seam between two chained links
            // of a stream) is skipped; each call consumes input, so this ends.
            if (got == OV_HOLE) continue;
            if (got <= 0) {
                FDecoderDone = true;
                break;
            }
            if (FCurrentSection != FCheckedSection && !SameFormat(FCurrentSection)) {
                // A chained link in another format: its samples cannot be
                // delivered in this run's format, so the data ends before them.
                FDecoderDone = true;
                FFormatChanged = true;
                break;
            }
            FCheckedSection = FCurrentSection;
            if (FFloatOutput) {
                // Interleaved, once the link is known to have this run's
                // channels.
                uint8_t* out = FPcmBuffer + FBlockEnd;
                for (long i = 0; i < got; ++i)
                    for (uint32_t c = 0; c < FChannels; ++c, out += sizeof(float))
                        std::memcpy(out, &planes[c][i], sizeof(float));
                got *= frameBytes;
            }
            FBlockEnd += static_cast<int32_t>(got);
            const int64_t delivered = FDelivered;
            if (dataSize >= 0 && delivered + FBlockEnd >= dataSize) {
                FBlockEnd = static_cast<int32_t>(std::max<int64_t>(0, dataSize - delivered));
                FDecoderDone = true;  // the range ends here
                break;
            }
        }
    }
    if (FBlockStart > FBlockEnd && FFormatChanged) {
        FFormatChanged = false;
        throw EAuException(kFormatChanged);
    }
    const uint32_t available = static_cast<uint32_t>(FBlockEnd - FBlockStart + 1);
    if (available < Bytes) Bytes = available;
    Buffer = FPcmBuffer + (FBlockStart - 1);
    FBlockStart += static_cast<int32_t>(Bytes);
}

bool TVorbisIn::SeekToSample(int64_t& SampleNum) {
    OpenSource();
    FBlockStart = 1;
    FBlockEnd = 0;
    FDecoderDone = false;
    FFormatChanged = false;
    if (FOpenCount <= 0) return true;
    TVorbisFileLib& lib = VorbisFileLib();
    // The library refuses a target at or past the end and stays where it
    // was; that target is simply the end of the data.
    const int64_t total = lib.ov_pcm_total(&FVorbisFile, -1);
    if (total >= 0 && SampleNum >= total) {
        FDecoderDone = true;
        return true;
    }
    return lib.ov_pcm_seek(&FVorbisFile, SampleNum) == 0;
}

bool TVorbisIn::SameFormat(int section) {
    const vorbis_info* info = VorbisFileLib().ov_info(&FVorbisFile, section);
    return info && static_cast<uint32_t>(info->channels) == FChannels &&
           static_cast<uint32_t>(info->rate) == FSampleRate;
}

size_t TVorbisIn::VorbisRead(void* Destination, size_t Size, size_t Count, void* Source) {
    auto* self = static_cast<TVorbisIn*>(Source);
    if (!self->FSourceStream || Size == 0 || Count == 0) return 0;
    if (Count > static_cast<size_t>(std::numeric_limits<int64_t>::max()) / Size) return 0;
    const int64_t got = self->FSourceStream->Read(Destination, static_cast<int64_t>(Size * Count));
    // fread's contract: whole items (the library asks for bytes, Size 1).
    return got > 0 ? static_cast<size_t>(got) / Size : 0;
}

int TVorbisIn::VorbisSeek(void* Source, ogg_int64_t Offset, int Whence) {
    auto* self = static_cast<TVorbisIn*>(Source);
    if (!self->FSeekable || !self->FSourceStream) return -1;
    TSeekOrigin origin = TSeekOrigin::soBeginning;
    if (Whence == SEEK_CUR) origin = TSeekOrigin::soCurrent;
    if (Whence == SEEK_END) origin = TSeekOrigin::soEnd;
    // fseek's contract (0 or -1): a position narrowed to int could read as -1.
    return self->FSourceStream->Seek(Offset, origin) < 0 ? -1 : 0;
}

int TVorbisIn::VorbisClose(void* Source) {
    static_cast<TVorbisIn*>(Source)->CloseFileStream();
    return 0;
}

long TVorbisIn::VorbisTell(void* Source) {
    auto* self = static_cast<TVorbisIn*>(Source);
    return self->FSourceStream ? static_cast<long>(self->FSourceStream->Position()) : -1;
}

}  // namespace quillet
