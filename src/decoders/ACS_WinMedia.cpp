#include "ACS_WinMedia.h"

#include <algorithm>

#include "ffmpeg_lib.h"
#include "replay_gain.h"
#include "text.h"

namespace quillet {

int ChannelRequest(TChannelsNumber value) {
    switch (value) {
        case cnMaxAvailable:
            return -1;
        case cnMonoOrStereo:
            return 0;
        case cn5dot1:
            return 6;
        case cn7dot1:
            return 8;
    }
    return 0;
}

TWMIn::TWMIn(TComponent* owner) : TAuTaggedFileIn(owner) {}

TWMIn::TWMIn(TComponent* owner, const TWMReaderProfile& profile) : TAuTaggedFileIn(owner) {
    FReader.Profile = &profile;
}

TWMIn::~TWMIn() {
    CloseSource();
}

void TWMIn::SetHighPrecision(bool Value) {
    std::lock_guard<std::recursive_mutex> data(FDataLock);
    if (Active() || FOutputChannels != cnMonoOrStereo) return;
    std::lock_guard<std::recursive_mutex> open(FOpenLock);
    FHighPrecision = Value;
    Reopen();
}

void TWMIn::SetOutputChannels(TChannelsNumber Value) {
    std::lock_guard<std::recursive_mutex> data(FDataLock);
    if (Active()) return;
    std::lock_guard<std::recursive_mutex> open(FOpenLock);
    if (Value != cnMonoOrStereo) FHighPrecision = true;
    FOutputChannels = Value;
    Reopen();
}

void TWMIn::SetFloatOutput(bool Value) {
    std::lock_guard<std::recursive_mutex> data(FDataLock);
    if (Active()) return;
    std::lock_guard<std::recursive_mutex> open(FOpenLock);
    FReader.FloatSamples = Value;
    Reopen();
}

void TWMIn::Reopen() {
    if (FOpenCount <= 0) return;
    CloseSource();
    OpenSource();
}

int64_t TWMIn::Hundredths() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    OpenSource();
    return FHundredths;
}

void TWMIn::OpenSource() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    if (FOpenCount != 0) return;
    RequireFfmpeg();
    if (!FStreamGiven && FFileName.empty()) throw EAuException("File name is not assigned");
    OpenFileStream();
    // FFmpeg leaves the APEv2 tag of an MP3 (and of other containers) unread:
    // its gain items are read here. (Our reader's stream position is reset.)
    TReplayGainFields apeGain;
    {
        TAPEv2Tags unused;
        ReadAPEv2Tag(*FSourceStream, unused, &apeGain);
        FSourceStream->SetPosition(0);
    }
    WMOpen(FReader, *FSourceStream, FHighPrecision, ChannelRequest(FOutputChannels));
    FIsValid = FReader.HasAudio;
    FReplayGain = {};
    if (!FReader.Reader) {
        // Nothing understood the file: the source stays closed.
        FHundredths = FFileSampleCount = 0;
        FChannels = FBitsPerSample = FSampleRate = 0;
        FDataSize = 0;
        FSizeIsEstimate = false;
        CloseFileStream();
        return;
    }
    FHundredths = WMGetDuration(FReader);
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    WMGetFormat(FReader, channels, bits, rate);
    FChannels = channels;
    FBitsPerSample = bits;
    FSampleRate = rate;
    // A bogus length must not overflow the byte count: at most 2^40 frames.
    FFileSampleCount = std::min(FReader.SampleCount, int64_t{1} << 40);
    FSampleCount = FFileSampleCount;
    FDataSize = FSampleCount * FChannels * (FBitsPerSample / 8);
    FSizeIsEstimate = FReader.DurationIsEstimate;
    FCanSeek = true;

    TId3v2Tags& tags = Id3v2Tags();
    tags.SetArtist(WMGetAttributeText(FReader, "Author"));
    tags.SetTitle(WMGetAttributeText(FReader, "Title"));
    tags.SetAlbum(WMGetAttributeText(FReader, "WM/AlbumTitle"));
    tags.SetGenre(WMGetAttributeText(FReader, "WM/Genre"));
    tags.SetTrack(Utf16ToUtf8(WMGetAttributeText(FReader, "WM/Track")));
    tags.SetYear(Utf16ToUtf8(WMGetAttributeText(FReader, "WM/Year")));
    tags.SetComment(WMGetAttributeText(FReader, "Copyright"));
    // FFmpeg hands over ID3v2 TXXX frames, the APEv2 items it reads and
    // Vorbis comments alike, under their own names; an APEv2 tag of ours
    // fills in what they lack.
    TReplayGainFields gain;
    for (const char* key : TReplayGainFields::Keys)
        if (std::u16string v = WMGetAttributeText(FReader, key); !v.empty())
            gain.Take(key, Utf16ToUtf8(v));
    FReplayGain = gain.Result();
    const TReplayGain ape = apeGain.Result();
    if (!FReplayGain.Track) FReplayGain.Track = ape.Track;
    if (!FReplayGain.Album) FReplayGain.Album = ape.Album;
    ++FOpenCount;
}

void TWMIn::CloseSource() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    if (FOpenCount <= 0) return;
    WMClose(FReader);
    FOpenCount = 0;
    CloseFileStream();
}

void TWMIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    const int64_t dataSize = FDataSize;
    // An estimated length never cuts the data short; a range still does.
    if (dataSize > 0 && !(FSizeIsEstimate && FEndSample == -1)) {
        const int64_t left = dataSize - FDelivered;
        if (left <= 0) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
        if (left < Bytes) Bytes = static_cast<uint32_t>(left);
    }
    WMRead(FReader, Buffer, Bytes);
}

bool TWMIn::SeekToSample(int64_t& SampleNum) {
    if (!Active()) return false;
    const int64_t was = FStartSample + (FFrameBytes ? FDelivered / FFrameBytes : 0);
    if (WMSeekFrame(FReader, SampleNum)) return true;
    if (!FReader.Ended) {
        SampleNum = was;  // the demuxer refused: nothing moved
        return false;
    }
    // No audio there. With an exact length that is the end, as asked; past
    // the real end of a file whose length was only an estimate the run goes
    // on from where it was.
    if (!FSizeIsEstimate) return true;
    WMSeekFrame(FReader, was);
    SampleNum = was;
    return false;
}

}  // namespace quillet
