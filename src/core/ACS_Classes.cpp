// Sources: run start and end, block delivery with range clipping and
// looping, positioning, and the file source's open/close bookkeeping.
#include "ACS_Classes.h"

#include <cmath>
#include <cstring>

#include "text.h"

namespace quillet {

std::recursive_mutex& LibLoadLock() {
    static std::recursive_mutex lock;
    return lock;
}

// ---------------------------------------------------------------------------
// TAuInput

void TAuInput::GetBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    ReadBlock(Buffer, Bytes);
}

void TAuInput::Reset() {
    try {
        EndRead();
    } catch (...) {
    }
    FActive = false;
}

void TAuInput::BeginRead() {
    std::string error;
    bool failed = false;
    {
        std::lock_guard<std::recursive_mutex> l(FDataLock);
        FAtEnd = false;
        try {
            DoBeginRead();
        } catch (const std::exception& e) {
            error = e.what();
            failed = true;
            FAtEnd = true;
        }
    }
    if (failed) throw EAuException(error);
}

void TAuInput::EndRead() {
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    DoEndRead();
}

int32_t TAuInput::CopyBlock(void* Dest, int32_t Size) {
    if (Size <= 0) return 0;
    // The block lives in the decoder's storage, which a seek from another
    // thread (the position bar) decodes into: hold the data lock until the
    // copy is done, not only while the block is fetched.
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    uint8_t* block = nullptr;
    uint32_t bytes = static_cast<uint32_t>(Size);
    GetBlock(block, bytes);
    if (bytes > static_cast<uint32_t>(Size)) bytes = static_cast<uint32_t>(Size);  // never trust
    if (block && bytes) std::memcpy(Dest, block, bytes);
    return block ? static_cast<int32_t>(bytes) : 0;
}

int32_t TAuInput::FillBuffer(void* Dest, int32_t Size, bool& EndReached) {
    int32_t total = 0;
    int32_t last = Size;
    while (Size - total != 0 && last != 0) {
        last = CopyBlock(static_cast<uint8_t*>(Dest) + total, Size - total);
        total += last;
    }
    EndReached = (last == 0);
    return total;
}

// ---------------------------------------------------------------------------
// TAuStreamedInput

void TAuStreamedInput::GetBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    const uint32_t requested = Bytes;
    if (FAtEnd) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    ReadBlock(Buffer, Bytes);
    if (Bytes > requested) Bytes = requested;  // a decoder must not hand out more
    const int64_t dataSize = FDataSize;
    if (Bytes == 0) {
        FAtEnd = true;
    } else {
        FDelivered += Bytes;
        if (SizeEndsRun()) {
            if (dataSize > 0 && FDelivered >= dataSize) {
                FAtEnd = true;
                if (FDelivered > dataSize) {
                    Bytes -= static_cast<uint32_t>(FDelivered - dataSize);
                    FDelivered = dataSize;
                }
            }
        } else if (dataSize > 0 && FDelivered > dataSize) {
            // An estimated length never ends a run (only the caller's range
            // does): past it, the size follows what was delivered, so the
            // progress stays at 100 until the decoder ends.
            FDataSize = FDelivered.load();
        }
    }
    if (FAtEnd && FLoop) {
        FAtEnd = false;
        if (FCanSeek) {
            int64_t start = FStartSample;
            SeekToSample(start);
        } else {
            EndRead();
            BeginRead();
        }
        FDelivered = 0;
        Bytes = requested;
        ReadBlock(Buffer, Bytes);
        if (Bytes > requested) Bytes = requested;
        if (Bytes == 0) {
            FAtEnd = true;
        } else {
            FDelivered += Bytes;
            const int64_t size = FDataSize;
            if (SizeEndsRun() && size > 0 && FDelivered >= size) FAtEnd = true;
        }
    }
}

bool TAuStreamedInput::GoToSample(int64_t SampleNum) {
    if (!FCanSeek) return false;
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    // A count of 0 or less is not known, so it limits nothing.
    if (FSampleCount > 0 && SampleNum > FSampleCount) return false;
    if (!FActive) {
        FStartSample = SampleNum;
        FEndSample = -1;
        FTimed = false;
        FDelivered = SampleNum * FFrameBytes;
        return true;
    }
    int64_t target = SampleNum + FStartSample;
    try {
        const bool ok = SeekToSample(target);
        FDelivered = (target - FStartSample) * FFrameBytes;
        // A source that had reached its end reads on from the new position
        // (a seek back after the sink took its last block).
        if (ok) FAtEnd = false;
        ++FSeekCount;
        if (TSeekListener* l = FSeekListener.load()) l->InputRepositioned();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

void TAuStreamedInput::SeekPercent(int32_t Delta) {
    const int64_t dataSize = FDataSize;
    // Without a length there is nothing to take a percentage of.
    if (!FCanSeek || dataSize <= 0) return;
    double f = static_cast<double>(FDelivered) / static_cast<double>(dataSize) +
               static_cast<double>(Delta) / 100.0;
    if (f < 0) f = 0;
    if (f > 1) f = 1;
    int64_t count;
    {
        std::lock_guard<std::recursive_mutex> l(FDataLock);
        count = FSampleCount;
    }
    if (count <= 0) return;
    // Halves to even, as the default rounding mode does.
    GoToSample(static_cast<int64_t>(std::nearbyint(static_cast<double>(count) * f)));
}

void TAuStreamedInput::SetTimeRange(const TTimeRange& Range, int64_t Offset) {
    std::lock_guard<std::recursive_mutex> l(FDataLock);
    if (FActive) return;
    FTimed = true;
    FTimeRange = Range;
    FTimeOffset = Offset;
}

void TAuStreamedInput::SetStream(TStream* Stream) {
    FSourceStream = Stream;
    FStreamGiven = Stream != nullptr;
}

// ---------------------------------------------------------------------------
// TAuFileIn

uint32_t TAuFileIn::GetBitsPerSample() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FBitsPerSample;
}

uint32_t TAuFileIn::GetChannels() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FChannels;
}

uint32_t TAuFileIn::GetSampleRate() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FSampleRate;
}

int64_t TAuFileIn::GetSampleCount() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    const int64_t dataSize = FDataSize;
    const uint16_t frame = FrameBytesOf(FChannels, FBitsPerSample);
    FSampleCount = (dataSize > 0 && frame > 0) ? dataSize / frame : -1;
    return FSampleCount;
}

int32_t TAuFileIn::GetDuration() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    if (FSampleRate == 0 || FChannels == 0 || FBitsPerSample == 0) return 0;
    const double bytesPerSecond =
        static_cast<double>(FSampleRate) * FChannels * static_cast<double>(FBitsPerSample >> 3);
    if (bytesPerSecond == 0) return 0;  // below 8 bits the shift leaves nothing
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(FDataSize) / bytesPerSecond));
}

TReplayGain TAuFileIn::ReplayGain() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FReplayGain.Track || FReplayGain.Album ? FReplayGain : FFallbackGain;
}

void TAuFileIn::SetFallbackReplayGain(const TReplayGain& Value) {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    FFallbackGain = Value;
}

bool TAuFileIn::IsValid() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FIsValid;
}

void TAuFileIn::Reset() {
    TAuInput::Reset();
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    FOpenCount = 0;
}

void TAuFileIn::SetStream(TStream* Stream) {
    CloseSource();
    TAuStreamedInput::SetStream(Stream);
}

void TAuFileIn::SetFileName(const std::string& Value) {
    CloseSource();
    {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        FFileNameW = Utf8ToUtf16(Value);
        FFileName = Value;
        FFallbackGain = {};
    }
    // A start point or range set while idle belonged to the previous file.
    // (The data lock is never taken inside the open lock.)
    std::lock_guard<std::recursive_mutex> d(FDataLock);
    if (!FActive) {
        FStartSample = 0;
        FEndSample = -1;
        FTimed = false;
        FDelivered = 0;
        FSampleCount = 0;
    }
}

void TAuFileIn::DoBeginRead() {
    if (FActive) throw EAuException("The component is Busy");
    if (!FStreamGiven && FFileNameW.empty()) throw EAuException("The file name is not assigned");
    FActive = true;
    FDelivered = 0;
    OpenSource();
    FFrameBytes = FrameBytesOf(FChannels, FBitsPerSample);
    // An input that gave no usable format cannot be divided by; its run
    // then delivers whatever the decoder gives, with an unknown count.
    const int64_t size = FDataSize;
    FSampleCount = FFrameBytes == 0 ? 0 : size < 0 ? -1 : size / FFrameBytes;
    FDuration =
        FSampleRate && FSampleCount > 0 ? static_cast<int32_t>(FSampleCount / FSampleRate) : 0;
    int64_t offset = 0;
    if (FTimed) {
        // Both ends by one rule, so the tracks of one image meet without a
        // sample lost or repeated.
        FStartSample = FlicksToFrames(FTimeRange.Start, FSampleRate);
        FEndSample = FTimeRange.End < 0 ? -1 : FlicksToFrames(FTimeRange.End, FSampleRate) - 1;
        if (FEndSample != -1 && FEndSample < FStartSample) FEndSample = FStartSample - 1;
        offset = FlicksToFrames(FTimeOffset, FSampleRate);
        FTimed = false;
        // A track of a sheet that claims more than the file holds: an error
        // of its own, not an empty run that looks like a played track.
        if (FSampleCount > 0 && !FSizeIsEstimate) {
            if (FStartSample >= FSampleCount) throw EAuException(kTrackPastEnd);
            // To the file's last frame, so the range's length is exact (an
            // open end would count one frame past it).
            if (FEndSample == -1 || FEndSample >= FSampleCount) FEndSample = FSampleCount - 1;
        }
    }
    if (FStartSample > 0) {
        GoToSample(0);
        FDelivered = 0;
    }
    if (FStartSample > 0 || FEndSample != -1) NarrowToRange();
    FBlockStart = 1;
    FBlockEnd = 0;
    if (offset > 0 && (FSampleCount <= 0 || offset < FSampleCount)) GoToSample(offset);
}

void TAuFileIn::NarrowToRange() {
    const int64_t count = FSampleCount;
    // Only a count the file vouches for limits the caller's end; an unknown
    // or estimated one never cuts the range short.
    const bool exact = count > 0 && !FSizeIsEstimate;
    if (exact && FEndSample > count) FEndSample = -1;
    int64_t frames;
    if (FEndSample != -1)
        frames = FEndSample - FStartSample + 1;
    else if (count > 0)
        frames = count - FStartSample + 1;
    else
        return;  // to the decoder's end, length unknown
    if (frames <= 0 && FEndSample == -1 && !exact) {
        // Past an estimate the file may still go on.
        FSampleCount = -1;
        FDataSize = -1;
        return;
    }
    if (frames <= 0) {
        // The range holds nothing (a start past the end): the run is empty.
        FSampleCount = 0;
        FDataSize = 0;
        FAtEnd = true;
        return;
    }
    FSampleCount = frames;
    FDataSize = frames * FFrameBytes;
}

void TAuFileIn::DoEndRead() {
    CloseSource();
    FStartSample = 0;
    FEndSample = -1;
    FTimed = false;
    FActive = false;
}

void TAuFileIn::OpenFileStream() {
    if (FStreamGiven) return;
    // By the name's own bytes: its UTF-16 form is for display only.
    FOwnStream = std::make_unique<TAuFileStream>(FFileName, fmShareDenyWrite);
    FSourceStream = FOwnStream.get();
}

void TAuFileIn::CloseFileStream() {
    if (FStreamGiven) {
        if (FSourceStream) FSourceStream->SetPosition(0);
        return;
    }
    FOwnStream.reset();
    FSourceStream = nullptr;
}

}  // namespace quillet
