#include "libwma1.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "album_art.h"
#include "ffmpeg_lib.h"
#include "id3v2_size.h"
#include "lame_tag.h"
#include "text.h"

namespace quillet {

const TWMReaderProfile kMp3WmaProfile{"mp3,asf", false, true};

namespace {

// A stream whose parameters fall outside these offers no format.
constexpr int kMaxChannels = 8;
// DSD at 5.6 MHz (DSD128) decodes to 705.6 kHz; the sound device takes up to
// 768 kHz.
constexpr int kMaxSampleRate = 768000;
// A decoded frame with more channels than this is dropped.
constexpr int kMaxFrameChannels = 64;

struct TOfferedFormat {
    uint32_t Channels, SampleRate, BitsPerSample;
};

// The output width that keeps every bit of the source: lossy codecs and
// sources of up to 16 bits give 16.
uint32_t SourceWidth(const AVCodecParameters& par) {
    const int bits =
        par.bits_per_raw_sample > 0 ? par.bits_per_raw_sample : par.bits_per_coded_sample;
    return bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
}

// The PCM formats the stream's output offers, in order.
std::vector<TOfferedFormat> OfferedFormats(const AVStream& st, const TWMReaderProfile& profile,
                                           bool highPrecision) {
    const AVCodecParameters& par = *st.codecpar;
    const int ch = par.ch_layout.nb_channels;
    if (ch < 1 || ch > kMaxChannels || par.sample_rate < 1 || par.sample_rate > kMaxSampleRate)
        return {};
    if (!FfAvCodec().avcodec_find_decoder(par.codec_id)) return {};
    const auto c = static_cast<uint32_t>(ch), r = static_cast<uint32_t>(par.sample_rate);
    if (profile.SourceWidth) return {{c, r, SourceWidth(par)}};
    std::vector<TOfferedFormat> formats{{c, r, 16}};
    if (highPrecision) formats.push_back({c, r, 24});
    return formats;
}

// 100-nanosecond units of a time in `tb`; -1 when it cannot be told.
int64_t To100ns(int64_t t, AVRational tb) {
    if (t == AV_NOPTS_VALUE || t <= 0 || tb.num <= 0 || tb.den <= 0) return -1;
    const __int128 v = static_cast<__int128>(t) * tb.num * 10000000 / tb.den;
    return v > INT64_MAX ? -1 : static_cast<int64_t>(v);
}

bool OpenContainer(TWMReader& R, int64_t origin) {
    AVIOContext* io = R.Adapter->Open(origin);
    if (!io) return false;
    AVFormatContext* ctx = FfAvFormat().avformat_alloc_context();
    if (!ctx) return false;
    ctx->pb = io;
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    ctx->format_whitelist = FfAvUtil().av_strdup(R.Profile->Demuxers);
    ctx->protocol_whitelist = FfAvUtil().av_strdup("none");
    if (FfAvFormat().avformat_open_input(&ctx, "", nullptr, nullptr) < 0)
        return false;  // frees ctx
    // As FFmpeg's own tools do, go on when some parameters stay unknown: a
    // stream that cannot be decoded offers no format.
    FfAvFormat().avformat_find_stream_info(ctx, nullptr);
    R.Reader = ctx;
    return true;
}

bool OpenDecoder(TWMReader& R) {
    const AVStream& st = *R.Reader->streams[R.StreamNumber];
    const AVCodec* codec = FfAvCodec().avcodec_find_decoder(st.codecpar->codec_id);
    if (!codec) return false;
    R.Decoder = FfAvCodec().avcodec_alloc_context3(codec);
    if (!R.Decoder || FfAvCodec().avcodec_parameters_to_context(R.Decoder, st.codecpar) < 0)
        return false;
    R.Decoder->pkt_timebase = st.time_base;
    if (FfAvCodec().avcodec_open2(R.Decoder, codec, nullptr) < 0) return false;
    R.Packet = FfAvCodec().av_packet_alloc();
    R.Frame = FfAvUtil().av_frame_alloc();
    return R.Packet && R.Frame;
}

void ReleaseDecoder(TWMReader& R) {
    if (R.Converter) FfSwResample().swr_free(&R.Converter);
    if (R.Frame) FfAvUtil().av_frame_free(&R.Frame);
    if (R.Packet) FfAvCodec().av_packet_free(&R.Packet);
    if (R.Decoder) FfAvCodec().avcodec_free_context(&R.Decoder);
    R.ConverterFormat = -1;
}

// 24-bit output is converted to 32 bits and packed afterwards.
uint32_t OutBytesPerSample(const TWMReader& R) {
    return R.BitsPerSample > 16 ? 4 : 2;
}

AVSampleFormat OutSampleFormat(const TWMReader& R) {
    if (R.FloatSamples) return AV_SAMPLE_FMT_FLT;
    return R.BitsPerSample > 16 ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
}

uint64_t MaskOf(const AVChannelLayout& l) {
    return l.order == AV_CHANNEL_ORDER_NATIVE ? l.u.mask : 0;
}

// A converter from the frame's format to the chosen one. Kept while the
// decoded format stays the same; a change mid-stream sets it up anew.
bool SetUpConverter(TWMReader& R, const AVFrame& f) {
    const int channels = f.ch_layout.nb_channels;
    if (R.Converter && f.format == R.ConverterFormat && f.sample_rate == R.ConverterRate &&
        channels == R.ConverterChannels && MaskOf(f.ch_layout) == R.ConverterMask)
        return true;
    if (R.Converter) FfSwResample().swr_free(&R.Converter);
    R.ConverterFormat = -1;
    AVChannelLayout in{}, out{};
    if (f.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
        FfAvUtil().av_channel_layout_copy(&in, &f.ch_layout) < 0)
        FfAvUtil().av_channel_layout_default(&in, channels);
    // The same layout on both sides: converting the sample format only, so
    // nothing is remixed.
    if (in.nb_channels == static_cast<int>(R.Channels)) {
        if (FfAvUtil().av_channel_layout_copy(&out, &in) < 0)
            FfAvUtil().av_channel_layout_default(&out, static_cast<int>(R.Channels));
    } else {
        FfAvUtil().av_channel_layout_default(&out, static_cast<int>(R.Channels));
    }
    int r = FfSwResample().swr_alloc_set_opts2(
        &R.Converter, &out, OutSampleFormat(R), static_cast<int>(R.SampleRate), &in,
        static_cast<AVSampleFormat>(f.format), f.sample_rate, 0, nullptr);
    FfAvUtil().av_channel_layout_uninit(&in);
    FfAvUtil().av_channel_layout_uninit(&out);
    if (r < 0 || FfSwResample().swr_init(R.Converter) < 0) {
        FfSwResample().swr_free(&R.Converter);
        return false;
    }
    R.ConverterFormat = f.format;
    R.ConverterRate = f.sample_rate;
    R.ConverterChannels = channels;
    R.ConverterMask = MaskOf(f.ch_layout);
    return true;
}

// Runs the converter into CurrentSample (`in` nullptr drains it); true when
// PCM came out.
bool Convert(TWMReader& R, const uint8_t* const* in, int inCount) {
    const int room = FfSwResample().swr_get_out_samples(R.Converter, inCount);
    if (room <= 0) return false;
    const size_t frameOut = static_cast<size_t>(R.Channels) * OutBytesPerSample(R);
    const size_t need = static_cast<size_t>(room) * frameOut;
    if (R.CurrentSample.size() < need) R.CurrentSample.resize(need);
    uint8_t* dst = R.CurrentSample.data();
    const int got = FfSwResample().swr_convert(R.Converter, &dst, room,
                                               const_cast<const uint8_t**>(in), inCount);
    if (got <= 0) return false;
    const size_t samples = static_cast<size_t>(got) * R.Channels;
    if (R.BitsPerSample == 24) {
        // Packs each 32-bit sample's top three bytes, in place: the write
        // position never passes the read position.
        uint8_t* p = R.CurrentSample.data();
        for (size_t i = 0; i < samples; ++i) {
            uint8_t b[4];
            std::memcpy(b, p + i * 4, 4);
            std::memcpy(p + i * 3, b + 1, 3);
        }
    }
    R.SampleBytes = static_cast<uint32_t>(samples * (R.BitsPerSample / 8));
    R.SampleOffset = 0;
    return true;
}

// Converts the decoded frame, dropping what lies before a seek target.
bool ConvertFrame(TWMReader& R) {
    const AVFrame& f = *R.Frame;
    const int channels = f.ch_layout.nb_channels;
    int n = f.nb_samples;
    if (n <= 0 || f.sample_rate <= 0 || channels <= 0 || channels > kMaxFrameChannels) return false;
    // The first frame from the start of the file is output frame 0, whatever
    // its time stamp says (codecs such as WMA stamp it with their delay).
    if (!R.OriginKnown && f.best_effort_timestamp != AV_NOPTS_VALUE) {
        R.Origin = f.best_effort_timestamp;
        R.OriginKnown = true;
    }
    int skip = 0;
    if (R.Skipping) {
        const AVRational tb = R.Reader->streams[R.StreamNumber]->time_base;
        const int64_t ts = f.best_effort_timestamp;
        R.Skipping = false;
        if (ts != AV_NOPTS_VALUE && ts < R.SkipUntil && tb.num > 0 && tb.den > 0) {
            const double ahead = (static_cast<double>(R.SkipUntil) - static_cast<double>(ts)) *
                                 tb.num / tb.den * f.sample_rate;
            const double rounded = std::nearbyint(ahead);
            if (!(rounded < n)) {
                R.Skipping = true;  // the whole frame lies before the target
                return false;
            }
            skip = static_cast<int>(rounded);
        }
    }
    if (!SetUpConverter(R, f)) return false;
    const int bps = FfAvUtil().av_get_bytes_per_sample(static_cast<AVSampleFormat>(f.format));
    std::array<const uint8_t*, kMaxFrameChannels> in{};
    if (FfAvUtil().av_sample_fmt_is_planar(static_cast<AVSampleFormat>(f.format))) {
        for (int c = 0; c < channels; ++c)
            in[c] = f.extended_data[c] + static_cast<size_t>(skip) * bps;
    } else {
        in[0] = f.extended_data[0] + static_cast<size_t>(skip) * bps * channels;
    }
    n -= skip;
    return Convert(R, in.data(), n);
}

// Decodes until one frame's PCM is in CurrentSample; false at the end.
bool NextSample(TWMReader& R) {
    if (!R.HasAudio || !R.Decoder || R.Ended) return false;
    for (;;) {
        const int r = FfAvCodec().avcodec_receive_frame(R.Decoder, R.Frame);
        if (r == 0) {
            const bool got = ConvertFrame(R);
            FfAvUtil().av_frame_unref(R.Frame);
            if (got) return true;
            continue;
        }
        if (R.DecoderDrained || r == AVERROR_EOF) {
            // What a resampling converter still holds.
            R.Ended = true;
            return R.Converter && Convert(R, nullptr, 0);
        }
        // The decoder wants input (or failed on the last packet: that packet
        // is lost, the next one goes on).
        if (const int r = FfAvFormat().av_read_frame(R.Reader, R.Packet); r < 0) {
            R.ReadError = r;
            FfAvCodec().avcodec_send_packet(R.Decoder, nullptr);
            R.DecoderDrained = true;
            continue;
        }
        if (R.Packet->stream_index == R.StreamNumber)
            FfAvCodec().avcodec_send_packet(R.Decoder, R.Packet);
        FfAvCodec().av_packet_unref(R.Packet);
    }
}

const AVDictionaryEntry* FindMetadata(const TWMReader& R, const char* key) {
    if (const AVDictionaryEntry* e = FfAvUtil().av_dict_get(R.Reader->metadata, key, nullptr, 0))
        return e;
    if (R.HasAudio && R.StreamNumber < R.Reader->nb_streams)
        return FfAvUtil().av_dict_get(R.Reader->streams[R.StreamNumber]->metadata, key, nullptr, 0);
    return nullptr;
}

// `t` in `from` units to `to` units, rounded to nearest; false on overflow
// or a meaningless base.
bool Rescale(int64_t t, AVRational from, AVRational to, int64_t& out) {
    if (from.num <= 0 || from.den <= 0 || to.num <= 0 || to.den <= 0) return false;
    const __int128 num = static_cast<__int128>(t) * from.num * to.den;
    const __int128 den = static_cast<__int128>(from.den) * to.num;
    const __int128 q = (num >= 0 ? num + den / 2 : num - den / 2) / den;
    if (q > INT64_MAX || q < INT64_MIN) return false;
    out = static_cast<int64_t>(q);
    return true;
}

// The end padding FFmpeg drops from an MP3's samples but counts in its
// stream length: the LAME tag's padding beyond the 529 samples of decoder
// delay FFmpeg accounts for. Read through the adapter, whose position is put
// back for FFmpeg's own reads.
int64_t UncountedMp3Padding(TWMReader& R) {
    if (std::strcmp(R.Reader->iformat->name, "mp3") != 0 || !R.Adapter) return 0;
    TAudioStream& io = *R.Adapter;
    const int64_t was = io.Seek(0, SEEK_CUR);
    if (was < 0) return 0;
    auto readAt = [&io](int64_t at, uint8_t* buffer, int size) {
        int got = 0;
        if (io.Seek(at, SEEK_SET) != at) return 0;
        while (got < size) {
            const int n = io.Read(buffer + got, size - got);
            if (n <= 0) break;
            got += n;
        }
        return got;
    };
    // The first frame is behind any ID3v2 tags, within a little junk.
    std::array<uint8_t, 4096> head{};
    int64_t at = 0;
    for (int tags = 0; tags < 4; ++tags) {
        const int64_t size =
            Id3v2Size(head.data(), static_cast<size_t>(readAt(at, head.data(), 10)));
        if (size == 0) break;
        at += size;
    }
    const int got = readAt(at, head.data(), static_cast<int>(head.size()));
    io.Seek(was, SEEK_SET);
    constexpr int kDecoderDelay = 529;
    const std::optional<TLameTag> tag = ReadLameTag(head.data(), static_cast<size_t>(got));
    return tag && tag->Padding > kDecoderDelay ? tag->Padding - kDecoderDelay : 0;
}

// Where output frame 0 lies on the stream's timeline until the first frame
// tells (FFmpeg drops the encoder delay it knows of: an MP3's LAME delay
// shows as the start time, an Opus pre-skip as initial padding), and how
// many frames the container declares. Lengths that FFmpeg derives from a
// bit rate, and ASF's header duration, are estimates: files whose header is
// absent, zero or short still play every packet.
void MeasureLength(TWMReader& R) {
    const AVStream& st = *R.Reader->streams[R.StreamNumber];
    const AVRational tb = st.time_base, frame{1, static_cast<int>(R.SampleRate)};
    int64_t start = 0, delay = 0;
    if (st.start_time != AV_NOPTS_VALUE && st.start_time > 0) start = st.start_time;
    const int padding = st.codecpar->initial_padding;
    if (padding > 0 && Rescale(padding, frame, tb, delay) && delay <= INT64_MAX - start)
        start += delay;
    R.Origin = start;

    int64_t frames = -1;
    if (st.duration != AV_NOPTS_VALUE && st.duration > 0) {
        if (!Rescale(st.duration - std::min(st.duration, start), tb, frame, frames)) frames = -1;
        if (frames > 0) frames -= std::min(frames, UncountedMp3Padding(R));
    } else if (R.Reader->duration != AV_NOPTS_VALUE && R.Reader->duration > 0) {
        if (!Rescale(R.Reader->duration, AVRational{1, AV_TIME_BASE}, frame, frames)) frames = -1;
    }
    R.SampleCount = frames > 0 ? frames : 0;
    R.DurationIsEstimate = R.SampleCount == 0 ||
                           R.Reader->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE ||
                           std::strcmp(R.Reader->iformat->name, "asf") == 0;
}

// Frames of preroll before a seek target: the codec's own figure, and at
// least a dozen codec frames, since every transform codec's overlap and MP3's
// bit reservoir need the frames before the target to decode it (the
// reservoir reaches back 511 bytes: ten frames of 8 kbit/s MPEG-2).
int64_t SeekPreroll(const TWMReader& R) {
    const AVCodecParameters& par = *R.Reader->streams[R.StreamNumber]->codecpar;
    const int64_t frameSize = par.frame_size > 0 ? par.frame_size : 1152;
    const int64_t preroll = std::max<int64_t>(par.seek_preroll, 12 * frameSize);
    // Lossless codecs with large blocks would decode seconds for nothing.
    return std::min<int64_t>(preroll, std::max<int64_t>(par.seek_preroll, R.SampleRate / 2));
}

// Chooses the output among the container's streams and opens its decoder:
// what follows the container's open, wherever the bytes come from.
void OpenOutput(TWMReader& R, bool HighPrecision, int ChannelRequest) {
    // The best values span the outputs; request 0 takes channels and rate
    // afresh from each.
    TOfferedFormat best{0, 0, 0};
    bool audioSeen = false;
    for (unsigned i = 0; i < R.Reader->nb_streams; ++i) {
        AVStream& st = *R.Reader->streams[i];
        // Only the first audio stream is an output; the demuxer may skip the rest.
        if (st.codecpar->codec_type != AVMEDIA_TYPE_AUDIO || audioSeen || i > UINT16_MAX) {
            st.discard = AVDISCARD_ALL;
            continue;
        }
        audioSeen = true;
        const std::vector<TOfferedFormat> formats = OfferedFormats(st, *R.Profile, HighPrecision);
        auto choose = [&](const TOfferedFormat& f) {
            R.HasAudio = true;
            R.OutputNumber = i;
            R.Channels = f.Channels;
            R.SampleRate = f.SampleRate;
            R.BitsPerSample = f.BitsPerSample;
        };
        if (ChannelRequest == 0) {
            if (formats.empty()) continue;
            // The stream's own channels and rate (the first format offered).
            const uint32_t wantChannels = formats[0].Channels, wantRate = formats[0].SampleRate;
            for (const TOfferedFormat& f : formats)
                if (f.Channels == wantChannels && f.SampleRate == wantRate &&
                    f.BitsPerSample >= best.BitsPerSample) {
                    best.BitsPerSample = f.BitsPerSample;
                    choose(f);
                }
        } else {
            for (const TOfferedFormat& f : formats) {
                const bool fits = ChannelRequest > 0
                                      ? f.Channels == static_cast<uint32_t>(ChannelRequest)
                                      : f.Channels >= best.Channels &&
                                            f.SampleRate >= best.SampleRate &&
                                            f.BitsPerSample >= best.BitsPerSample;
                if (fits) {
                    best = f;
                    choose(f);
                }
            }
        }
    }
    if (!R.HasAudio) return;
    if (R.FloatSamples) R.BitsPerSample = 32;
    R.StreamNumber = static_cast<uint16_t>(R.OutputNumber);
    if (!OpenDecoder(R)) {
        ReleaseDecoder(R);
        R.HasAudio = false;
        R.Channels = R.SampleRate = R.BitsPerSample = 0;
        return;
    }
    int64_t d = -1;
    if (R.Reader->duration != AV_NOPTS_VALUE)
        d = To100ns(R.Reader->duration, AVRational{1, AV_TIME_BASE});
    if (d < 0) {
        const AVStream& st = *R.Reader->streams[R.StreamNumber];
        d = To100ns(st.duration, st.time_base);
    }
    R.Duration = d < 0 ? 0 : d;
    MeasureLength(R);
    // Decoding the first frame now fixes where the output starts on the
    // stream's timeline before anything can seek; its PCM is handed out first.
    NextSample(R);
}

}  // namespace

TWMReader::~TWMReader() {
    WMClose(*this);
}

// FFmpeg reads an ID3v2 tag in front of the sound whole, pictures and all,
// before the first frame. A tag larger than any picture the album art keeps
// (a 100 MB picture) is not handed to it: FFmpeg starts behind the tags, and
// the file's words come from our own tag reader. Returns where it starts.
int64_t BehindOversizedTags(TStream& stream) {
    constexpr int64_t kMaxHandedTagBytes = int64_t{kMaxPictureBytes} + (int64_t{1} << 20);
    int64_t at = 0, start = 0;
    for (int tags = 0; tags < 4; ++tags) {
        uint8_t head[10];
        stream.SetPosition(at);
        const int64_t size = stream.ReadExact(head, sizeof head) ? Id3v2Size(head, sizeof head) : 0;
        if (size == 0) break;
        at += size;
        if (size > kMaxHandedTagBytes) start = at;
    }
    stream.SetPosition(0);
    return start;
}

void WMOpen(TWMReader& R, TStream& Stream, bool HighPrecision, int ChannelRequest) {
    WMClose(R);
    const int64_t start = BehindOversizedTags(Stream);
    R.Adapter = std::make_unique<TAudioStream>(Stream);
    if (!OpenContainer(R, start) && !(R.Profile->RetryFrom30 && OpenContainer(R, start + 30))) {
        R.Adapter.reset();
        return;
    }
    OpenOutput(R, HighPrecision, ChannelRequest);
}

namespace {

// Every nested request of the HLS demuxer goes through its context's io_open.
int BudgetedOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                 AVDictionary** options) {
    auto* budget = static_cast<TRequestBudget*>(s->opaque);
    if (budget->Left == 0) {
        budget->Spent = true;
        return AVERROR(EMLINK);
    }
    if (budget->Left > 0) --budget->Left;
    return budget->Open(s, pb, url, flags, options);
}

}  // namespace

int WMOpenUrl(TWMReader& R, const char* Url, const char* Protocols, AVDictionary** Options,
              const AVIOInterruptCB& Interrupt, bool HighPrecision, int ChannelRequest) {
    WMClose(R);
    // The connection first, so that a failure to connect is told from
    // content nobody here reads.
    FfAvUtil().av_dict_set(Options, "protocol_whitelist", Protocols, 0);
    if (const int r = FfAvFormat().avio_open2(&R.Network, Url, AVIO_FLAG_READ, &Interrupt, Options);
        r < 0)
        return r;
    uint8_t* type = nullptr;
    if (FfAvUtil().av_opt_get(R.Network, "mime_type", AV_OPT_SEARCH_CHILDREN, &type) >= 0 && type)
        R.ContentType = reinterpret_cast<const char*>(type);
    FfAvUtil().av_free(type);
    AVFormatContext* ctx = FfAvFormat().avformat_alloc_context();
    if (!ctx) return AVERROR(ENOMEM);
    ctx->pb = R.Network;
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    ctx->format_whitelist = FfAvUtil().av_strdup(R.Profile->Demuxers);
    ctx->protocol_whitelist = FfAvUtil().av_strdup(Protocols);
    ctx->interrupt_callback = Interrupt;
    // A live stream comes in real time, and one that starts inside an MP3
    // frame never scores high enough to end FFmpeg's probe early: 32 KiB (two
    // seconds at 128 kbit/s, and no wait behind a server's burst) name the
    // format, and a second of it tells its parameters.
    ctx->format_probesize = 32768;
    ctx->max_analyze_duration = AV_TIME_BASE;
    // Nothing seeks in a stream, and an index of every frame would keep
    // growing through a long listen (up to FFmpeg's 1 MiB).
    ctx->max_index_size = 16 * 1024;
    AVDictionary* demuxerOptions = nullptr;
    if (R.MaxOpenRequests > 0) {
        R.Requests = std::make_unique<TRequestBudget>();
        R.Requests->Open = ctx->io_open;
        R.Requests->Left = R.MaxOpenRequests;
        ctx->opaque = R.Requests.get();
        ctx->io_open = BudgetedOpen;
        // A kept-alive connection would fetch the next list past io_open,
        // uncounted.
        FfAvUtil().av_dict_set(&demuxerOptions, "http_persistent", "0", 0);
    }
    const int opened = FfAvFormat().avformat_open_input(&ctx, Url, nullptr, &demuxerOptions);
    FfAvUtil().av_dict_free(&demuxerOptions);
    if (opened >= 0) FfAvFormat().avformat_find_stream_info(ctx, nullptr);
    if (R.Requests) {
        R.OpenRequestsSpent = R.Requests->Spent;
        R.Requests->Left = -1;
    }
    if (opened < 0) return opened == AVERROR_EXIT ? opened : AVERROR_INVALIDDATA;  // frees ctx
    R.Reader = ctx;
    OpenOutput(R, HighPrecision, ChannelRequest);
    return 0;
}

void WMSetOutputFormat(TWMReader& R, uint32_t Channels, uint32_t SampleRate,
                       uint32_t BitsPerSample) {
    if (!R.HasAudio ||
        (R.Channels == Channels && R.SampleRate == SampleRate && R.BitsPerSample == BitsPerSample))
        return;
    R.Channels = Channels;
    R.SampleRate = SampleRate;
    R.BitsPerSample = BitsPerSample;
    if (R.Converter) FfSwResample().swr_free(&R.Converter);
    R.ConverterFormat = -1;
    R.SampleBytes = R.SampleOffset = 0;
}

void WMGetFormat(const TWMReader& R, uint16_t& Channels, uint16_t& BitsPerSample,
                 uint32_t& SampleRate) {
    Channels = static_cast<uint16_t>(R.Channels);
    BitsPerSample = static_cast<uint16_t>(R.BitsPerSample);
    SampleRate = R.SampleRate;
}

int64_t WMGetDuration(const TWMReader& R) {
    int64_t q = R.Duration / 100000;
    const int64_t rest = R.Duration % 100000;
    if (rest > 50000 || (rest == 50000 && (q & 1))) ++q;
    return q;
}

std::u16string WMGetAttributeText(const TWMReader& R, std::string_view Name) {
    if (!R.Reader) return {};
    // The attribute names and FFmpeg's common metadata keys for them (ID3v2
    // frames and ASF attributes both arrive under these).
    struct TAttributeKeys {
        std::string_view Attribute;
        std::array<const char*, 2> Keys;
    };
    static constexpr TAttributeKeys kKeys[] = {
        {"Author", {"artist", "author"}},      {"Title", {"title", nullptr}},
        {"WM/AlbumTitle", {"album", nullptr}}, {"WM/Genre", {"genre", nullptr}},
        {"WM/Track", {"track", nullptr}},      {"WM/Year", {"date", "year"}},
        {"Copyright", {"copyright", nullptr}},
    };
    for (const TAttributeKeys& k : kKeys) {
        if (k.Attribute != Name) continue;
        for (const char* key : k.Keys)
            if (key)
                if (const AVDictionaryEntry* e = FindMetadata(R, key)) return Utf8ToUtf16(e->value);
    }
    const std::string key(Name);
    if (key.empty()) return {};
    if (const AVDictionaryEntry* e = FindMetadata(R, key.c_str())) return Utf8ToUtf16(e->value);
    return {};
}

void WMRead(TWMReader& R, uint8_t*& Buffer, uint32_t& Bytes) {
    const uint32_t wanted = Bytes;
    Buffer = nullptr;
    Bytes = 0;
    for (;;) {
        if (R.SampleOffset < R.SampleBytes) {
            uint32_t n = std::min(wanted, R.SampleBytes - R.SampleOffset);
            const uint32_t frame = R.Channels * (R.BitsPerSample / 8);
            if (frame && n >= frame) n -= n % frame;
            Buffer = R.CurrentSample.data() + R.SampleOffset;
            Bytes = n;
            R.SampleOffset += n;
            return;
        }
        R.SampleBytes = R.SampleOffset = 0;
        if (!NextSample(R)) return;
    }
}

bool WMSeek(TWMReader& R, uint32_t Hundredths) {
    return WMSeekFrame(R, static_cast<int64_t>(Hundredths) * R.SampleRate / 100);
}

bool WMSeekFrame(TWMReader& R, int64_t Frame) {
    if (!R.Reader || !R.HasAudio || !R.Decoder || Frame < 0) return false;
    const AVRational tb = R.Reader->streams[R.StreamNumber]->time_base;
    const AVRational frame{1, static_cast<int>(R.SampleRate)};
    int64_t target = 0, from = 0;
    if (!Rescale(Frame, frame, tb, target) ||
        !Rescale(std::max<int64_t>(Frame - SeekPreroll(R), 0), frame, tb, from))
        return false;
    // The origin comes from the file's time stamps: keep the sums in range.
    const __int128 at = static_cast<__int128>(target) + R.Origin,
                   start = static_cast<__int128>(from) + R.Origin;
    if (at > INT64_MAX || start < INT64_MIN) return false;
    if (FfAvFormat().avformat_seek_file(R.Reader, R.StreamNumber, INT64_MIN,
                                        static_cast<int64_t>(start), static_cast<int64_t>(start),
                                        0) < 0)
        return false;
    FfAvCodec().avcodec_flush_buffers(R.Decoder);
    if (R.Converter) FfSwResample().swr_free(&R.Converter);
    R.ConverterFormat = -1;
    R.SampleBytes = R.SampleOffset = 0;
    R.DecoderDrained = R.Ended = false;
    R.ReadError = 0;
    // Demuxers land on a packet at or before the target; the decoded samples
    // before it are dropped, so the position is exact to the sample. Decoding
    // up to the target now tells whether there is audio there at all.
    R.Skipping = true;
    R.SkipUntil = static_cast<int64_t>(at);
    return NextSample(R);
}

void WMClose(TWMReader& R) {
    ReleaseDecoder(R);
    if (R.Reader) FfAvFormat().avformat_close_input(&R.Reader);
    if (R.Network) FfAvFormat().avio_closep(&R.Network);
    R.Requests.reset();
    R.OpenRequestsSpent = false;
    R.ContentType.clear();
    R.Adapter.reset();
    R.CurrentSample = {};
    R.SampleBytes = R.SampleOffset = 0;
    R.StreamNumber = 0;
    R.OutputNumber = 0;
    R.HasAudio = false;
    R.Channels = R.SampleRate = R.BitsPerSample = 0;
    R.Duration = R.SampleCount = 0;
    R.DurationIsEstimate = false;
    R.DecoderDrained = R.Ended = R.Skipping = false;
    R.ReadError = 0;
    R.SkipUntil = R.Origin = 0;
    R.OriginKnown = false;
}

}  // namespace quillet
