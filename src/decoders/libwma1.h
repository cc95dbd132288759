// TWMReader: the reader record and its operations, decoding with FFmpeg
// (loaded at run time, ffmpeg_lib.h; the caller loads it before WMOpen). A
// file is read only through the source's own stream (TAudioStream); only the
// stream input hands over an address, which FFmpeg then fetches itself with
// the network protocols it is allowed (WMOpenUrl). The MP3/WMA input, the
// general FFmpeg input and the stream input share it; a profile tells them
// apart (which demuxers may open the file, how wide the PCM is).
//
// Outputs and formats: the reader's one audio output is the first audio
// stream of the file. It offers PCM in the stream's native channel count and
// rate at 16 bits, followed, when discrete output is asked for (HighPrecision),
// by the same at 24 bits; a profile with SourceWidth offers one width instead,
// the stream's own precision (16, 24 or 32 bits). WMOpen picks among them by
// the channel request:
//   0  native channels and rate, the highest bits offered;
//   -1 every format not smaller than the best so far: the last wins;
//   >0 (6 for 5.1, 8 for 7.1) a format with exactly that many channels; none
//      on a file with other channel counts: the reader then exists but
//      HasAudio stays false.
//
// Length: SampleCount is the output frames the container declares (FFmpeg's
// duration less the encoder delay it skips); DurationIsEstimate says it came
// from a bit rate or an ASF header rather than a count, so more (or less)
// may follow.
//
// Delivery: WMRead hands out the decoded PCM of one codec frame at a time
// (encoder delay and padding already removed by FFmpeg), never more than
// asked and in whole PCM frames whenever at least one frame is asked for. A
// decode error in one packet drops that packet, as FFmpeg's own tools do; the
// data ends when the file has no more packets.
//
// Threads: one thread at a time (the owning source's open and data locks).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wmfintf.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct AVDictionary;
struct AVIOContext;
struct AVIOInterruptCB;
struct SwrContext;

namespace quillet {

// What is left of a network open's requests (TWMReader::MaxOpenRequests),
// and the demuxer's own request opener that it wraps.
struct TRequestBudget {
    int (*Open)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) = nullptr;
    int Left = -1;  // -1: no bound
    bool Spent = false;
};

// What a reader may open and how it sizes its samples.
struct TWMReaderProfile {
    // FFmpeg demuxer names, comma-separated. Nothing else is ever probed, so
    // a hostile file cannot steer FFmpeg into a playlist or script demuxer
    // that opens other files or URLs.
    const char* Demuxers;
    // One output width from the stream's precision (16, or 24/32 when the
    // source carries more than 16 bits), instead of 16 plus 24 on request.
    bool SourceWidth;
    // A file not understood from its first byte is tried once more from
    // byte 30.
    bool RetryFrom30;
};

// MP3 (every MPEG audio layer) and ASF: the reader's default.
extern const TWMReaderProfile kMp3WmaProfile;

struct TWMReader {
    TWMReader() = default;
    ~TWMReader();  // WMClose
    TWMReader(const TWMReader&) = delete;
    TWMReader& operator=(const TWMReader&) = delete;

    // What the reader may open and how wide its PCM is; WMClose keeps it.
    const TWMReaderProfile* Profile = &kMp3WmaProfile;
    // Hand out 32-bit floats instead of the profile's integers (for a
    // meter, float_output.h); WMClose keeps it.
    bool FloatSamples = false;
    // Requests an address's demuxer may make while WMOpenUrl opens it (an
    // HLS list's nested lists, keys and segments); 0 for no bound. A list
    // that leads to itself or to ever more lists is cut off there, with
    // OpenRequestsSpent set. The bound is lifted once the open is done (a
    // live list keeps fetching). WMClose keeps MaxOpenRequests.
    int MaxOpenRequests = 0;
    bool OpenRequestsSpent = false;
    std::unique_ptr<TRequestBudget> Requests;  // while FFmpeg may call it
    std::unique_ptr<TAudioStream> Adapter;     // over the source's stream
    AVIOContext* Network = nullptr;            // or FFmpeg's connection to an address
    std::string ContentType;                   // what the address's server called its content
    AVFormatContext* Reader = nullptr;         // the demuxer; set = the reader exists
    AVCodecContext* Decoder = nullptr;         // set only with HasAudio
    SwrContext* Converter = nullptr;           // decoded samples -> the chosen PCM
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    // PCM of the codec frame being handed out: its first SampleBytes bytes;
    // SampleOffset of them are already handed out.
    std::vector<uint8_t> CurrentSample;
    uint32_t SampleBytes = 0;
    uint32_t SampleOffset = 0;
    uint16_t StreamNumber = 0;  // stream index of the chosen output
    uint32_t OutputNumber = 0;  // the chosen output (the reader has one per stream)
    bool HasAudio = false;
    uint32_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t BitsPerSample = 0;
    int64_t Duration = 0;     // length in 100-nanosecond units; 0 unknown
    int64_t SampleCount = 0;  // output frames the container declares; 0 unknown
    bool DurationIsEstimate = false;

    // Decoding state.
    int ReadError = 0;            // the demuxer's last failure (AVERROR_EOF at the end)
    bool DecoderDrained = false;  // the end was sent to the decoder
    bool Ended = false;           // nothing more will come
    int64_t SkipUntil = 0;        // after a seek: drop samples before this (stream time base)
    bool Skipping = false;
    int64_t Origin = 0;        // stream time of output frame 0 (after the skipped delay)
    bool OriginKnown = false;  // Origin is the first decoded frame's time stamp
    int ConverterFormat = -1;  // the decoded format the converter was set up for
    int ConverterRate = 0;
    int ConverterChannels = 0;
    uint64_t ConverterMask = 0;
};

// Opens the file in Stream (read from its start; on failure once more from
// byte 30). R is closed and cleared first. Afterwards R.Reader is set when the
// file was understood and R.HasAudio when an output format was chosen.
void WMOpen(TWMReader& R, TStream& Stream, bool HighPrecision, int ChannelRequest);
// Opens a network address instead: FFmpeg connects to it itself, through
// the comma-separated `Protocols` only (for every nested request too, such
// as HLS segments), with FFmpeg `Options` for the connection (what it leaves
// unused stays in them), then reads it with the profile's demuxers.
// `Interrupt` ends any wait inside FFmpeg when it returns non-zero. Returns
// the connection's error (R closed); AVERROR_INVALIDDATA when the content is
// not understood (R keeps the connection and its ContentType until WMClose);
// or 0 with R as after WMOpen.
int WMOpenUrl(TWMReader& R, const char* Url, const char* Protocols, AVDictionary** Options,
              const AVIOInterruptCB& Interrupt, bool HighPrecision, int ChannelRequest);
void WMGetFormat(const TWMReader& R, uint16_t& Channels, uint16_t& BitsPerSample,
                 uint32_t& SampleRate);
// Length in hundredths of a second: Duration / 100000, rounded to nearest
// (halves to even).
int64_t WMGetDuration(const TWMReader& R);
// The text of a header attribute ("Author", "Title", "WM/AlbumTitle",
// "WM/Genre", "WM/Track", "WM/Year", "Copyright", or any metadata key of the
// file); empty when absent.
std::u16string WMGetAttributeText(const TWMReader& R, std::string_view Name);
// Buffer points into R's storage, valid until the next WMRead, WMSeek or
// WMClose; Bytes in = most wanted, out = given. nullptr and 0 at the end.
void WMRead(TWMReader& R, uint8_t*& Buffer, uint32_t& Bytes);
// Positions so that the next PCM starts Hundredths / 100 seconds into the
// file. A position the file cannot reach leaves the reader as it was and
// gives false.
bool WMSeek(TWMReader& R, uint32_t Hundredths);
// The same to the output frame Frame, exactly. Decoding restarts a little
// before the target (codecs that carry state from frame to frame, such as
// MP3's bit reservoir, need it) and what precedes the target is dropped.
// False with the reader as it was when the demuxer cannot seek; false with
// the reader at the end (R.Ended) when no audio follows the target.
bool WMSeekFrame(TWMReader& R, int64_t Frame);
// From the next decoded frame on, delivers PCM in this format whatever the
// stream's own (resampled and remixed): a stream opened anew keeps the format
// its listener already plays. PCM decoded in another format and not yet
// handed out is dropped. Bits: 16, 24 or 32.
void WMSetOutputFormat(TWMReader& R, uint32_t Channels, uint32_t SampleRate,
                       uint32_t BitsPerSample);
// Releases everything and clears R.
void WMClose(TWMReader& R);

}  // namespace quillet
