#include "WaveConverter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ffmpeg_lib.h"

namespace quillet {
namespace {

// Everything from the stream's position to its end.
std::vector<uint8_t> ReadRest(TStream& stream) {
    std::vector<uint8_t> all;
    const int64_t size = stream.Size();
    const int64_t pos = stream.Position();
    if (size > 0 && pos >= 0 && size > pos) all.reserve(static_cast<size_t>(size - pos));
    uint8_t chunk[65536];
    for (int64_t n; (n = stream.Read(chunk, sizeof chunk)) > 0;)
        all.insert(all.end(), chunk, chunk + n);
    return all;
}

bool IdIs(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// FFmpeg objects released in every path.
struct TDecodeState {
    AVCodecContext* Codec = nullptr;
    AVCodecParserContext* Parser = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    SwrContext* Resampler = nullptr;
    AVChannelLayout OutLayout{};
    // The input format the resampler was set up for.
    int InFormat = -1;
    int InRate = 0;
    int InChannels = 0;
    uint64_t InMask = 0;

    ~TDecodeState() {
        if (Resampler) FfSwResample().swr_free(&Resampler);
        if (Frame) FfAvUtil().av_frame_free(&Frame);
        if (Packet) FfAvCodec().av_packet_free(&Packet);
        if (Parser) FfAvCodec().av_parser_close(Parser);
        if (Codec) FfAvCodec().avcodec_free_context(&Codec);
        FfAvUtil().av_channel_layout_uninit(&OutLayout);
    }
};

uint64_t MaskOf(const AVChannelLayout& l) {
    return l.order == AV_CHANNEL_ORDER_NATIVE ? l.u.mask : 0;
}

// Converts `inCount` frames of `in` (nullptr drains the resampler) and
// appends them as interleaved 16-bit PCM.
int Resample(TDecodeState& s, const uint8_t** in, int inCount, int outChannels,
             std::vector<uint8_t>& out) {
    const int room = FfSwResample().swr_get_out_samples(s.Resampler, inCount);
    if (room <= 0) return room;
    const size_t frameBytes = static_cast<size_t>(outChannels) * 2;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(room) * frameBytes);
    uint8_t* dst = out.data() + at;
    const int got = FfSwResample().swr_convert(s.Resampler, &dst, room, in, inCount);
    out.resize(at + static_cast<size_t>(std::max(got, 0)) * frameBytes);
    return got < 0 ? got : 0;
}

// Appends the frame in the target format; a change of the decoded format
// mid-stream sets the resampler up again.
int AppendFrame(TDecodeState& s, int outRate, int outChannels, std::vector<uint8_t>& out) {
    AVFrame* f = s.Frame;
    if (!s.Resampler || f->format != s.InFormat || f->sample_rate != s.InRate ||
        f->ch_layout.nb_channels != s.InChannels || MaskOf(f->ch_layout) != s.InMask) {
        if (s.Resampler) {
            if (int r = Resample(s, nullptr, 0, outChannels, out); r < 0) return r;
            FfSwResample().swr_free(&s.Resampler);
        }
        int r = FfSwResample().swr_alloc_set_opts2(
            &s.Resampler, &s.OutLayout, AV_SAMPLE_FMT_S16, outRate, &f->ch_layout,
            static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        if (r < 0) return r;
        if ((r = FfSwResample().swr_init(s.Resampler)) < 0) return r;
        s.InFormat = f->format;
        s.InRate = f->sample_rate;
        s.InChannels = f->ch_layout.nb_channels;
        s.InMask = MaskOf(f->ch_layout);
    }
    return Resample(s, const_cast<const uint8_t**>(f->extended_data), f->nb_samples, outChannels,
                    out);
}

// Sends one packet (nullptr drains) and collects every frame it gives.
// Damaged frames are skipped, as a player would.
int DecodePacket(TDecodeState& s, const AVPacket* packet, int outRate, int outChannels,
                 std::vector<uint8_t>& out) {
    int r = FfAvCodec().avcodec_send_packet(s.Codec, packet);
    if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF && r != AVERROR_INVALIDDATA) return r;
    while ((r = FfAvCodec().avcodec_receive_frame(s.Codec, s.Frame)) >= 0) {
        const int a = AppendFrame(s, outRate, outChannels, out);
        if (a < 0) return a;
    }
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF || r == AVERROR_INVALIDDATA) return 0;
    return r;
}

}  // namespace

void TWaveConverter::SetContent(std::vector<uint8_t> bytes) {
    static_cast<TMemoryStream&>(*this) = TMemoryStream(std::move(bytes));
}

int32_t TWaveConverter::LoadWave(TStream& stream) {
    const std::vector<uint8_t> file = ReadRest(stream);
    const uint8_t* p = file.data();
    const int64_t size = static_cast<int64_t>(file.size());
    if (size < 12 || !IdIs(p, "RIFF") || !IdIs(p + 8, "WAVE")) return 0;
    int64_t consumed = 12;
    // Slides an 8-byte window (identifier, size) one byte at a time; a window
    // that matches consumes its body, so the search resumes near its end.
    while (consumed < size - 1) {
        consumed -= 7;
        const uint8_t* w = p + consumed;
        const int64_t bodySize = GetLE32(w + 4);
        consumed += 8;
        const int64_t body = std::min(bodySize, size - consumed);
        if (IdIs(w, "fmt ")) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(body, TWaveFormatRecord::kSize));
            std::memcpy(SourceFormat.Bytes.data(), p + consumed, n);
            if (n < 18)
                std::fill(SourceFormat.Bytes.begin() + n, SourceFormat.Bytes.begin() + 18, 0);
            consumed += body;
        } else if (IdIs(w, "fact")) {
            consumed += body;
        } else if (IdIs(w, "data") && bodySize > 0) {
            SetContent(std::vector<uint8_t>(p + consumed, p + consumed + body));
            consumed += body;
        }
    }
    SetPosition(0);
    return 0;
}

int32_t TWaveConverter::SuggestFormat() {
    const uint16_t channels = SourceFormat.Channels();
    const uint32_t rate = SourceFormat.SamplesPerSec();
    if (SourceFormat.FormatTag() != kWaveFormatMpegLayer3 ||
        TargetFormat.FormatTag() != kWaveFormatPcm || channels == 0 || channels > 2 || rate == 0 ||
        rate > 192000)
        return kConvertNotPossible;
    TWaveFormatRecord& t = TargetFormat;
    t.Bytes.fill(0);
    const uint16_t align = static_cast<uint16_t>(channels * 2);
    PutLE16(&t.Bytes[0], kWaveFormatPcm);
    PutLE16(&t.Bytes[2], channels);
    PutLE32(&t.Bytes[4], rate);
    PutLE32(&t.Bytes[8], rate * align);
    PutLE16(&t.Bytes[12], align);
    PutLE16(&t.Bytes[14], 16);
    return 0;
}

int32_t TWaveConverter::ConvertData() {
    const int outChannels = TargetFormat.Channels();
    const int outRate = static_cast<int>(TargetFormat.SamplesPerSec());
    if (TargetFormat.FormatTag() != kWaveFormatPcm || TargetFormat.BitsPerSample() != 16 ||
        outChannels < 1 || outChannels > 2 || outRate <= 0)
        return kConvertNotPossible;

    TDecodeState s;
    const AVCodec* codec = FfAvCodec().avcodec_find_decoder(AV_CODEC_ID_MP3);
    if (!codec) return kConvertNotPossible;
    if (!(s.Codec = FfAvCodec().avcodec_alloc_context3(codec))) return AVERROR(ENOMEM);
    if (int r = FfAvCodec().avcodec_open2(s.Codec, codec, nullptr); r < 0) return r;
    s.Parser = FfAvCodec().av_parser_init(AV_CODEC_ID_MP3);
    s.Packet = FfAvCodec().av_packet_alloc();
    s.Frame = FfAvUtil().av_frame_alloc();
    if (!s.Parser || !s.Packet || !s.Frame) return AVERROR(ENOMEM);
    FfAvUtil().av_channel_layout_default(&s.OutLayout, outChannels);

    // The parser and decoder may read a little past the end of their input.
    std::vector<uint8_t> input(Data());
    const size_t payload = input.size();
    input.resize(payload + AV_INPUT_BUFFER_PADDING_SIZE, 0);

    std::vector<uint8_t> out;
    const uint8_t* data = input.data();
    int remaining = static_cast<int>(std::min<size_t>(payload, INT32_MAX));
    for (bool flushing = false;;) {
        const int used =
            FfAvCodec().av_parser_parse2(s.Parser, s.Codec, &s.Packet->data, &s.Packet->size, data,
                                         remaining, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || (used == 0 && s.Packet->size == 0 && !flushing && remaining > 0)) break;
        data += used;
        remaining -= used;
        if (s.Packet->size > 0) {
            if (int r = DecodePacket(s, s.Packet, outRate, outChannels, out); r < 0) return r;
        } else if (flushing) {
            break;
        }
        if (remaining == 0) flushing = true;  // next calls drain the parser
    }
    if (int r = DecodePacket(s, nullptr, outRate, outChannels, out); r < 0) return r;
    if (s.Resampler)
        if (int r = Resample(s, nullptr, 0, outChannels, out); r < 0) return r;
    if (out.empty()) return kConvertNoAudio;

    SourceFormat = TargetFormat;
    SetContent(std::move(out));
    return 0;
}

int32_t TWaveConverter::StoreWave(TStream& stream) {
    const int64_t keep = Position();
    const std::vector<uint8_t>& content = Data();
    if (content.size() > 0xFFFFFFFFull - 36) return kStoreWaveFailed;
    const uint32_t contentSize = static_cast<uint32_t>(content.size());
    uint8_t header[44] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    PutLE32(header + 16, 16);
    std::memcpy(header + 20, SourceFormat.Bytes.data(), 16);
    std::memcpy(header + 36, "data", 4);
    PutLE32(header + 40, contentSize);
    bool ok = stream.Write(header, 44) == 44 &&
              stream.Write(content.data(), contentSize) == static_cast<int64_t>(contentSize);
    if (ok) {
        const int64_t length = stream.Size() >= 0 ? stream.Size() : 44 + int64_t{contentSize};
        uint8_t riff[8];
        std::memcpy(riff, "RIFF", 4);
        PutLE32(riff + 4, static_cast<uint32_t>(length - 8));
        ok = stream.Seek(0, TSeekOrigin::soBeginning) == 0 && stream.Write(riff, 8) == 8;
    }
    SetPosition(keep);
    return ok ? 0 : kStoreWaveFailed;
}

}  // namespace quillet
