#include "stream_input.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "ffmpeg_input.h"
#include "ffmpeg_lib.h"
#include "icy_meta.h"
#include "libwma1.h"
#include "paths.h"
#include "text.h"

namespace quillet {

const char kStreamRefused[] = "Only http and https addresses are played";
const char kStreamNoAnswer[] = "The server gave no sound in time";
const char kStreamNoAudio[] = "The address gives no audio stream";
const char kStreamOpenFailed[] = "Could not open the stream";
const char kStreamLost[] = "The stream was lost and could not be reached again";
const char kStreamBrokeOff[] = "The download broke off";
const char kStreamStopped[] = "Stopped";

// The reads of the network connection on this thread (FFmpeg reads it only
// on the reader thread that opened it), counted around FFmpeg's own reader.
struct TReadCount {
    int (*Read)(void*, uint8_t*, int) = nullptr;
    int64_t Reads = 0, Bytes = 0;
};

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// FFmpeg's names of what a stream may use: the network protocols for every
// request (HLS segments included), and the general input's demuxers plus
// the ones radio serves (raw FLAC, WAV, HLS over MPEG-TS).
const char kProtocols[] = "http,https,tcp,tls";
const std::string kStreamDemuxers = std::string(kFFmpegInputDemuxers) + ",flac,wav,hls,mpegts";
const TWMReaderProfile kStreamProfile{kStreamDemuxers.c_str(), true, false};

// Requests one open may make: an HLS master list, its variants' lists and
// their first segments take a few dozen at most; a list that leads to
// itself, or to ever more lists, stops here.
constexpr int kMaxOpenRequests = 64;
// A server that puts its ICY metadata every few bytes makes FFmpeg read the
// socket a few bytes at a time (a system call each): once this many reads
// average fewer bytes than that, the stream is opened anew without asking
// for titles, at a normal stream's cost.
constexpr int64_t kTinyReadCount = 4096;
constexpr int64_t kTinyReadBytes = 64;
// A connection that gave this much sound was a good one: the reconnects
// count afresh after it.
constexpr double kSteadySeconds = 30;
// Titles are looked for this often (FFmpeg copies the block for each look).
constexpr auto kTitlePoll = std::chrono::milliseconds(200);
// The longest a wait lasts before it looks at the stop requests again.
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
constexpr uint32_t kBlockBytes = 64 * 1024;

// The address as FFmpeg takes it: icy:// and icyx:// as http://, and bytes a
// request line cannot carry (blanks, controls, non-ASCII) percent-encoded.
std::string RequestUrl(const std::string& address) {
    const size_t colon = address.find(':');
    const std::string scheme = AsciiLower(address.substr(0, colon));
    std::string url = scheme == "icy" || scheme == "icyx" ? "http" : scheme;
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : std::string_view(address).substr(colon)) {
        const auto b = static_cast<uint8_t>(c);
        if (b > 0x20 && b < 0x7F) {
            url += c;
        } else {
            url += '%';
            url += kHex[b >> 4];
            url += kHex[b & 15];
        }
    }
    return url;
}

// FFmpeg's text for an error, or the line it logged when the code says less.
std::string ErrorText(int error, const std::string& logged) {
    char text[256] = {};
    if (FfAvUtil().av_strerror(error, text, sizeof text) < 0)
        return "error " + std::to_string(error);
    if (!logged.empty() && (error == AVERROR(EIO) || error == AVERROR(EINVAL))) return logged;
    return text;
}

std::string Joined(const char* message, const std::string& reason) {
    return reason.empty() ? std::string(message) : std::string(message) + " (" + reason + ")";
}

thread_local TReadCount* tReadCount = nullptr;

int CountedRead(void* opaque, uint8_t* buf, int size) {
    TReadCount& count = *tReadCount;
    const int n = count.Read(opaque, buf, size);
    if (n > 0) {
        ++count.Reads;
        count.Bytes += n;
    }
    return n;
}

}  // namespace

// The reader thread and the ring between it and the run. Owned by the input
// from its open to its close; the thread ends (and FFmpeg's work with it)
// before the object goes.
class TStreamReader {
  public:
    TStreamReader(TStreamIn& owner, std::string url) : FOwner(owner), FUrl(std::move(url)) {
        FThread = std::thread([this] { Run(); });
    }
    ~TStreamReader() {
        FStop = true;
        FData.notify_all();
        FRoom.notify_all();
        FThread.join();
    }
    TStreamReader(const TStreamReader&) = delete;
    TStreamReader& operator=(const TStreamReader&) = delete;

    // Waits until the format is known and the start is held (see the header);
    // raises what went wrong instead.
    void WaitStarted();
    // The run's side: up to `want` bytes of sound or paced silence into
    // `out`; 0 when the data has ended; raises the failure once the ring is
    // empty.
    uint32_t Take(uint8_t* out, uint32_t want);
    // Bytes Take gives at once (none while refilling after a gap); -1 once
    // the data has ended or failed, so the run reads on and learns it.
    int64_t Held() {
        std::lock_guard<std::mutex> l(FLock);
        if (FState != TState::Playing) return -1;
        return FRefilling ? 0 : static_cast<int64_t>(FSize);
    }

    // Immutable once WaitStarted has returned.
    uint32_t Channels = 0, SampleRate = 0, Bits = 0;

  private:
    enum class TState { Opening, Playing, Ended, Failed };

    void Run();
    // Opens FUrl into FR (0, or FFmpeg's error; AVERROR_INVALIDDATA when
    // there is no audio). Runs under the open deadline.
    int Connect();
    // Whether the connection that just ended is the end of the resource
    // rather than a break to recover from.
    bool EndsHere() const;
    // Why an open or a read failed, in a few words; and the whole message
    // for a failed first open.
    std::string Reason(int error) const;
    std::string OpenFailure(int error) const;
    // Waits `seconds` unless stopped; false when stopped.
    bool Pause(double seconds);
    void Push(const uint8_t* pcm, uint32_t bytes);
    void Finish(TState state, const std::string& error);
    // Reads the station, the song and the format, and publishes them when they
    // changed. `all` reads everything afresh (after a connect).
    void UpdateInfo(bool all);
    // Under FLock: seconds the run is ahead of the clock.
    double Ahead(Clock::time_point now);

    bool Stopping() const { return FStop.load() || FOwner.FInterrupted.load(); }
    static int InterruptCallback(void* opaque);

    TStreamIn& FOwner;
    const std::string FUrl;
    std::atomic<bool> FStop{false};
    // Steady-clock nanoseconds after which FFmpeg's waits give up; 0 none.
    std::atomic<int64_t> FDeadline{0};
    std::thread FThread;

    // Reader thread only.
    TWMReader FR;
    std::string FIcyBlock;          // the last ICY block read
    std::string FContentType;       // what the server called the last connection's content
    std::string FLogged;            // the error FFmpeg logged on the last connect
    bool FAskIcy = true;            // titles are asked for (not after tiny reads)
    TReadCount FReads;              // of the current connection
    bool FTooManyRequests = false;  // the last connect ran out of requests
    std::string FStation;
    TIcyTitle FSong;
    Clock::time_point FTitleLook{};

    std::mutex FLock;
    std::condition_variable FData;  // sound, an end or a failure arrived
    std::condition_variable FRoom;  // the run took sound
    // --- under FLock
    TState FState = TState::Opening;
    std::string FError;
    std::vector<uint8_t> FRing;
    size_t FHead = 0;  // the run's next byte
    size_t FSize = 0;  // bytes held
    uint32_t FFrameBytes = 0;
    size_t FStartBytes = 0, FResumeBytes = 0;
    bool FRefilling = false;  // after a gap, sound waits until FResumeBytes are held
    bool FClockRunning = false;
    Clock::time_point FClockStart{};
    uint64_t FDeliveredBytes = 0;  // sound and silence the run took
};

int TStreamReader::InterruptCallback(void* opaque) {
    const auto* r = static_cast<const TStreamReader*>(opaque);
    const int64_t deadline = r->FDeadline.load();
    return r->Stopping() || (deadline != 0 && Clock::now().time_since_epoch().count() > deadline);
}

void TStreamReader::Run() {
    tReadCount = &FReads;
    FR.Profile = &kStreamProfile;
    FR.MaxOpenRequests = kMaxOpenRequests;
    int error = Connect();
    if (error != 0) {
        Finish(TState::Failed, OpenFailure(error));
        WMClose(FR);
        // A failed open may have held many small blocks (nested lists): give
        // them back to the system rather than keep them for a window's life.
        malloc_trim(0);
        return;
    }
    {
        std::lock_guard<std::mutex> l(FLock);
        Channels = FR.Channels;
        SampleRate = FR.SampleRate;
        Bits = FR.BitsPerSample;
        FFrameBytes = Channels * (Bits / 8);
        const auto bytesFor = [&](double seconds) {
            return static_cast<size_t>(seconds * SampleRate) * FFrameBytes;
        };
        FRing.assign(bytesFor(TStreamIn::kBufferSeconds), 0);
        FStartBytes = bytesFor(TStreamIn::kStartSeconds);
        FResumeBytes = bytesFor(TStreamIn::kResumeSeconds);
        FState = TState::Playing;
    }
    FData.notify_all();
    UpdateInfo(true);

    int failures = 0;
    uint64_t connectionFrames = 0;
    while (!Stopping()) {
        uint32_t room;
        {
            std::unique_lock<std::mutex> l(FLock);
            while (!Stopping() && FRing.size() - FSize < FFrameBytes) FRoom.wait_for(l, kWaitSlice);
            room = static_cast<uint32_t>(std::min<size_t>(FRing.size() - FSize, kBlockBytes));
        }
        if (Stopping()) break;
        room -= room % FFrameBytes;
        uint8_t* pcm = nullptr;
        uint32_t bytes = room;
        FDeadline = (Clock::now() + std::chrono::seconds(TStreamIn::kStallTimeoutSeconds))
                        .time_since_epoch()
                        .count();
        WMRead(FR, pcm, bytes);
        FDeadline = 0;
        if (pcm && bytes > 0) {
            Push(pcm, bytes);
            connectionFrames += bytes / FFrameBytes;
            UpdateInfo(false);
            if (!(FAskIcy && FReads.Reads >= kTinyReadCount &&
                  FReads.Bytes < FReads.Reads * kTinyReadBytes))
                continue;
            // Titles every few bytes: the same stream without them.
            FAskIcy = false;
            if (const int again = Connect(); again != 0) {
                if (!Stopping()) Finish(TState::Failed, Joined(kStreamLost, Reason(again)));
                break;
            }
            WMSetOutputFormat(FR, Channels, SampleRate, Bits);
            FSong = {};  // no more come to replace it
            UpdateInfo(true);
            continue;
        }
        if (Stopping()) break;
        if (EndsHere()) {
            if (FR.ReadError == AVERROR_EOF)
                Finish(TState::Ended, {});
            else
                Finish(TState::Failed, Joined(kStreamBrokeOff, Reason(FR.ReadError)));
            break;
        }
        // A live stream broke off: open it anew, a few times at most.
        if (connectionFrames >= kSteadySeconds * SampleRate) failures = 0;
        std::string reason = Reason(FR.ReadError);
        for (error = -1; error != 0;) {
            if (++failures > TStreamIn::kReconnects) break;
            if (!Pause(std::min(0.5 * (1 << (failures - 1)), 4.0))) break;
            if ((error = Connect()) != 0) reason = Reason(error);
        }
        if (error != 0) {
            if (!Stopping()) Finish(TState::Failed, Joined(kStreamLost, reason));
            break;
        }
        WMSetOutputFormat(FR, Channels, SampleRate, Bits);
        connectionFrames = 0;
        UpdateInfo(true);
    }
    WMClose(FR);
}

int TStreamReader::Connect() {
    AVDictionary* options = nullptr;
    const auto set = [&options](const char* key, const std::string& value) {
        FfAvUtil().av_dict_set(&options, key, value.c_str(), 0);
    };
    set("icy", FAskIcy ? "1" : "0");
    // FFmpeg's own recovery of a broken download of known size; live streams
    // are opened anew here, where the reconnects are counted.
    set("reconnect", "1");
    set("reconnect_delay_max", "2");
    set("rw_timeout", std::to_string(int64_t{TStreamIn::kStallTimeoutSeconds} * 1000000));
    set("tls_verify", "1");
    FDeadline = (Clock::now() + std::chrono::seconds(TStreamIn::kOpenTimeoutSeconds))
                    .time_since_epoch()
                    .count();
    const AVIOInterruptCB interrupt{&InterruptCallback, this};
    TakeFfmpegError();
    int error = WMOpenUrl(FR, FUrl.c_str(), kProtocols, &options, interrupt, false, 0);
    // A wait cut short by the deadline may come back as any error (TLS says
    // "Input/output error"): it is the time-out.
    if (error != 0 && InterruptCallback(this)) error = AVERROR_EXIT;
    FDeadline = 0;
    FLogged = TakeFfmpegError();
    FfAvUtil().av_dict_free(&options);
    if (error == 0 && !FR.HasAudio) error = AVERROR_INVALIDDATA;
    FContentType = FR.ContentType;
    FTooManyRequests = FR.OpenRequestsSpent;
    if (error != 0) WMClose(FR);
    FReads = {};
    if (error == 0 && FR.Network && FR.Network->read_packet) {
        FReads.Read = FR.Network->read_packet;
        FR.Network->read_packet = CountedRead;
    }
    FIcyBlock.clear();
    return error;
}

bool TStreamReader::EndsHere() const {
    // A file on a web server has a size; an HLS playlist fetches (and, live,
    // reloads) its segments itself.
    AVIOContext* pb = FR.Reader ? FR.Reader->pb : nullptr;
    return (pb && FfAvFormat().avio_size(pb) > 0) ||
           (FR.Reader && std::strcmp(FR.Reader->iformat->name, "hls") == 0);
}

std::string TStreamReader::Reason(int error) const {
    if (error == AVERROR_EXIT) return "no sound in time";
    if (error == AVERROR_INVALIDDATA) return "no audio stream";
    if (error == AVERROR_EOF) return "the server closed the connection";
    return ErrorText(error, FLogged);
}

std::string TStreamReader::OpenFailure(int error) const {
    if (Stopping()) return kStreamStopped;
    if (error == AVERROR_EXIT) return kStreamNoAnswer;
    if (FTooManyRequests)
        return Joined(kStreamOpenFailed, "its playlists lead to more than " +
                                             std::to_string(kMaxOpenRequests) + " requests");
    if (error == AVERROR_INVALIDDATA) return Joined(kStreamNoAudio, FContentType);
    return Joined(kStreamOpenFailed, ErrorText(error, FLogged));
}

bool TStreamReader::Pause(double seconds) {
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
    std::unique_lock<std::mutex> l(FLock);
    while (!Stopping() && Clock::now() < until) FRoom.wait_for(l, kWaitSlice);
    return !Stopping();
}

void TStreamReader::Push(const uint8_t* pcm, uint32_t bytes) {
    {
        std::lock_guard<std::mutex> l(FLock);
        const size_t at = (FHead + FSize) % FRing.size();
        const size_t first = std::min<size_t>(bytes, FRing.size() - at);
        std::memcpy(FRing.data() + at, pcm, first);
        std::memcpy(FRing.data(), pcm + first, bytes - first);
        FSize += bytes;
    }
    FData.notify_all();
}

void TStreamReader::Finish(TState state, const std::string& error) {
    {
        std::lock_guard<std::mutex> l(FLock);
        FState = state;
        FError = error;
    }
    FData.notify_all();
}

void TStreamReader::UpdateInfo(bool all) {
    if (!FR.Reader) return;
    AVFormatContext& ctx = *FR.Reader;
    AVStream& st = *ctx.streams[FR.StreamNumber];
    bool changed = all;
    // The container's own tags: an Ogg stream's comments, each chained song
    // bringing its own (FFmpeg flags the update), or a file's tags.
    if (all || (st.event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) ||
        (ctx.event_flags & AVFMT_EVENT_FLAG_METADATA_UPDATED)) {
        st.event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
        ctx.event_flags &= ~AVFMT_EVENT_FLAG_METADATA_UPDATED;
        const std::string artist = Utf8OrLatin1(Utf16ToUtf8(WMGetAttributeText(FR, "Author")));
        const std::string title = Utf8OrLatin1(Utf16ToUtf8(WMGetAttributeText(FR, "Title")));
        if (!title.empty() || !artist.empty()) {
            FSong = {artist, title};
            changed = true;
        }
    }
    // ICY: the latest block, and the station from the response's headers.
    const Clock::time_point now = Clock::now();
    if ((all || now - FTitleLook >= kTitlePoll) && ctx.pb) {
        FTitleLook = now;
        uint8_t* text = nullptr;
        if (all && FfAvUtil().av_opt_get(ctx.pb, "icy_metadata_headers", AV_OPT_SEARCH_CHILDREN,
                                         &text) >= 0) {
            FStation = IcyHeader(reinterpret_cast<const char*>(text), "icy-name");
            FfAvUtil().av_free(text);
            text = nullptr;
        }
        if (FfAvUtil().av_opt_get(ctx.pb, "icy_metadata_packet", AV_OPT_SEARCH_CHILDREN, &text) >=
            0) {
            const std::string block = text ? reinterpret_cast<const char*>(text) : "";
            FfAvUtil().av_free(text);
            if (block != FIcyBlock) {
                FIcyBlock = block;
                if (std::optional<std::string> t = IcyField(block, "StreamTitle")) {
                    FSong = SplitStreamTitle(*t);
                    changed = true;
                }
            }
        }
    }
    if (!changed) return;
    std::string format = ctx.iformat->name;
    const std::string codec = FfAvCodec().avcodec_get_name(st.codecpar->codec_id);
    if (codec != format) format += "/" + codec;
    FOwner.Publish({FStation, FSong.Artist, FSong.Title, format});
}

void TStreamReader::WaitStarted() {
    const auto until = Clock::now() + std::chrono::seconds(TStreamIn::kOpenTimeoutSeconds);
    std::unique_lock<std::mutex> l(FLock);
    // The start: the format, then kStartSeconds held (or all the resource
    // has, or as much as came in the time).
    while (!Stopping() &&
           (FState == TState::Opening ||
            (FState == TState::Playing && FSize < FStartBytes && Clock::now() < until)))
        FData.wait_for(l, kWaitSlice);
    if (Stopping()) throw EAuException(kStreamStopped);
    if (FState == TState::Failed && FSize == 0) throw EAuException(FError);
}

double TStreamReader::Ahead(Clock::time_point now) {
    const double delivered =
        static_cast<double>(FDeliveredBytes / FFrameBytes) / static_cast<double>(SampleRate);
    double ahead = delivered - Seconds(now - FClockStart).count();
    if (ahead < 0) {
        // The run fell behind the clock (a pause, a slow writer): it starts
        // again from here, owing nothing.
        FClockStart = now - std::chrono::duration_cast<Clock::duration>(Seconds(delivered));
        ahead = 0;
    }
    return ahead;
}

uint32_t TStreamReader::Take(uint8_t* out, uint32_t want) {
    std::unique_lock<std::mutex> l(FLock);
    if (!FClockRunning) {
        FClockStart = Clock::now();
        FClockRunning = true;
    }
    // Where the run is inside a frame (only a request smaller than a frame
    // leaves it inside one).
    const uint32_t torn = static_cast<uint32_t>(FDeliveredBytes % FFrameBytes);
    for (;;) {
        if (Stopping()) return 0;
        if (FRefilling && (FSize >= FResumeBytes || FState != TState::Playing)) FRefilling = false;
        if (!FRefilling && FSize > 0) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(want, FSize));
            if (n >= FFrameBytes) n -= n % FFrameBytes;
            const size_t first = std::min<size_t>(n, FRing.size() - FHead);
            std::memcpy(out, FRing.data() + FHead, first);
            std::memcpy(out + first, FRing.data(), n - first);
            FHead = (FHead + n) % FRing.size();
            FSize -= n;
            FDeliveredBytes += n;
            l.unlock();
            FRoom.notify_all();
            return n;
        }
        if (FSize == 0 && FState == TState::Ended) return 0;
        if (FSize == 0 && FState == TState::Failed) throw EAuException(FError);
        const double ahead = Ahead(Clock::now());
        if (ahead <= TStreamIn::kLeadSeconds) {
            // The listener would hear the gap now: silence, as long as the
            // clock allows, and sound again once the ring has refilled.
            const double seconds = TStreamIn::kLeadSeconds - ahead + 0.1;
            uint32_t n = std::min<uint32_t>(
                want, static_cast<uint32_t>(seconds * SampleRate) * FFrameBytes + FFrameBytes);
            if (torn != 0)
                n = std::min(n, FFrameBytes - torn);
            else if (n >= FFrameBytes)
                n -= n % FFrameBytes;
            std::memset(out, 0, n);
            FDeliveredBytes += n;
            FRefilling = true;
            return n;
        }
        FData.wait_for(l, std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(
                                                        Seconds(ahead - TStreamIn::kLeadSeconds)),
                                                    kWaitSlice));
    }
}

// ---------------------------------------------------------------------------
// TStreamIn

TStreamIn::TStreamIn(TComponent* owner) : TAuFileIn(owner) {
    FCanSeek = false;
}

TStreamIn::~TStreamIn() {
    CloseSource();
}

TStreamInfo TStreamIn::StreamInfo() const {
    std::lock_guard<std::mutex> l(FInfoLock);
    return FInfo;
}

void TStreamIn::Publish(const TStreamInfo& info) {
    std::lock_guard<std::mutex> l(FInfoLock);
    if (info == FInfo) return;
    FInfo = info;
    ++FTitleSerial;
}

void TStreamIn::Interrupt() {
    FInterrupted = true;
}

void TStreamIn::OpenSource() {
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    if (FOpenCount != 0) return;
    // A failed open is not tried again for every format query.
    if (!FOpenError.empty()) throw EAuException(FOpenError);
    try {
        if (FFileName.empty()) throw EAuException("File name is not assigned");
        if (!IsStreamUrl(FFileName)) throw EAuException(kStreamRefused);
        if (FInterrupted) throw EAuException(kStreamStopped);
        RequireFfmpeg();
        static std::once_flag network;
        std::call_once(network, [] { FfAvFormat().avformat_network_init(); });
        Publish({});
        auto reader = std::make_unique<TStreamReader>(*this, RequestUrl(FFileName));
        reader->WaitStarted();
        FReader = std::move(reader);
    } catch (const std::exception& e) {
        FOpenError = e.what();
        throw;
    }
    FChannels = FReader->Channels;
    FSampleRate = FReader->SampleRate;
    FBitsPerSample = FReader->Bits;
    FDataSize = -1;
    FSizeIsEstimate = false;
    FCanSeek = false;
    FIsValid = true;
    ++FOpenCount;
}

void TStreamIn::CloseSource() {
    // The run may be waiting for sound: the data lock first (the order every
    // setter keeps), so the reader never goes while a block is taken from it.
    std::lock_guard<std::recursive_mutex> d(FDataLock);
    std::lock_guard<std::recursive_mutex> l(FOpenLock);
    FReader.reset();
    FOpenCount = 0;
    FOpenError.clear();
    FInterrupted = false;
}

void TStreamIn::ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) {
    TStreamReader* reader = FReader.get();
    if (!reader || Bytes == 0) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    FBlock.resize(kBlockBytes);
    Bytes = reader->Take(FBlock.data(), std::min(Bytes, kBlockBytes));
    Buffer = Bytes ? FBlock.data() : nullptr;
}

int64_t TStreamIn::BufferedBytes() const {
    TStreamReader* reader = FReader.get();  // the reading thread's own, as in ReadBlock
    return reader ? reader->Held() : -1;
}

bool TStreamIn::SeekToSample(int64_t& /*SampleNum*/) {
    return false;
}

}  // namespace quillet
