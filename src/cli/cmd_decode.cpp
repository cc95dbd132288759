// quillet-cli decode: a file (or a stream) through the player's own input to
// WAV or raw PCM; --seconds records that much of it (a stream has no end).
// A run that ends early (the stream broke off, SIGINT/SIGTERM/SIGHUP) keeps
// what came under a header that says its size, and exits with 3.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ACS_Procs.h"
#include "commands.h"
#include "dsp_stage.h"
#include "eq_presets.h"
#include "gain.h"
#include "media_common.h"
#include "text.h"
#include "whole_units.h"

namespace quillet::cli {
namespace {

// The data size a WAV header gives when the length is not known: what other
// tools write to pipes.
constexpr uint64_t kUnknownWaveSize = 0xFFFFFFFFull;

// The canonical 44-byte header of a PCM WAV; kUnknownWaveSize sets both
// sizes to all ones.
std::vector<uint8_t> WaveHeader(uint32_t channels, uint32_t rate, uint32_t bits,
                                uint64_t dataSize) {
    std::vector<uint8_t> h(44, 0);
    const bool unknown = dataSize == kUnknownWaveSize;
    const uint32_t size =
        dataSize > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataSize);
    const uint16_t align = FrameBytesOf(channels, bits);
    std::memcpy(&h[0], "RIFF", 4);
    PutLE32(&h[4], unknown ? 0xFFFFFFFFu : 36 + size);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLE32(&h[16], 16);
    PutLE16(&h[20], 1);
    PutLE16(&h[22], static_cast<uint16_t>(channels));
    PutLE32(&h[24], rate);
    PutLE32(&h[28], rate * align);
    PutLE16(&h[32], align);
    PutLE16(&h[34], static_cast<uint16_t>(bits));
    std::memcpy(&h[36], "data", 4);
    PutLE32(&h[40], unknown ? 0xFFFFFFFFu : size);
    return h;
}

// The exit status of a run that ended before its end (a stream that broke
// off, a signal): what came is written and whole, but it is not all.
constexpr int kEndedEarly = 3;

// SIGINT, SIGTERM and SIGHUP end a recording as its end would, while this
// lives: the run's loop asks Caught() between blocks.
class TStopSignals {
  public:
    TStopSignals() {
        struct sigaction sa {};
        sa.sa_handler = [](int sig) { FCaught = sig; };
        sigemptyset(&sa.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &FOld[i]);
    }
    ~TStopSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &FOld[i], nullptr);
    }
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;
    static int Caught() { return FCaught; }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    static inline volatile std::sig_atomic_t FCaught = 0;
    struct sigaction FOld[std::size(kSignals)]{};
};

// Writes to a descriptor through one fixed buffer: small blocks are
// gathered, large ones go straight from the decoder's storage.
class TSink {
  public:
    explicit TSink(int fd) : FFd(fd), FBuffer(kBufferBytes) {}
    bool Put(const uint8_t* data, size_t size) {
        if (size == 0) return true;  // an empty span may carry no pointer at all
        if (size >= kBufferBytes) return Flush() && WriteOut(data, size);
        if (FUsed + size > kBufferBytes && !Flush()) return false;
        std::memcpy(FBuffer.data() + FUsed, data, size);
        FUsed += size;
        return true;
    }
    bool Flush() {
        const bool ok = WriteOut(FBuffer.data(), FUsed);
        FUsed = 0;
        return ok;
    }

  private:
    static constexpr size_t kBufferBytes = 256 * 1024;
    bool WriteOut(const uint8_t* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(FFd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    int FFd;
    std::vector<uint8_t> FBuffer;
    size_t FUsed = 0;
};

// The loudness correction, with the output's own gain code, on whole samples.
class TGainStage {
  public:
    TGainStage(double gain, uint32_t width) : FGain(gain), FWidth(width), FSamples(width) {}
    // The block's bytes that are ready, with the gain applied (valid until
    // the next call).
    std::span<const uint8_t> Take(const uint8_t* data, size_t size) {
        const std::span<const uint8_t> whole = FSamples.Take(data, size);
        FScaled.assign(whole.begin(), whole.end());
        ApplyGain(FScaled.data(), FScaled.size() / FWidth, FWidth, FGain);
        return FScaled;
    }
    // A partial sample at the very end goes out as it came.
    std::span<const uint8_t> Rest() const { return FSamples.Rest(); }

  private:
    double FGain;
    uint32_t FWidth;
    TWholeUnits FSamples;
    std::vector<uint8_t> FScaled;
};

// The player's equalizer on whole frames, as the sink runs it.
class TEqStage {
  public:
    TEqStage(const TEqSettings& settings, double peak, uint32_t rate, uint32_t channels,
             uint32_t bits)
        : FFrames(FrameBytesOf(channels, bits)) {
        FDsp.Equalizer().Set(settings);
        FDsp.Equalizer().SetPeak(peak);
        FDsp.Start(rate, channels, bits);
    }
    std::span<const uint8_t> Take(const uint8_t* data, size_t size) {
        const std::span<const uint8_t> whole = FFrames.Take(data, size);
        FShaped.assign(whole.begin(), whole.end());
        FDsp.Process(FShaped.data(), FShaped.size());
        return FShaped;
    }
    std::span<const uint8_t> Rest() const { return FFrames.Rest(); }

  private:
    TDspStage FDsp;
    TWholeUnits FFrames;
    std::vector<uint8_t> FShaped;
};

int Decode(const std::vector<std::string>& args) {
    bool raw = false, discard = false;
    std::optional<TReplayGainMode> gainMode;
    std::optional<TEqSettings> eq;
    int64_t start = -1, end = -1, seconds = -1, track = -1;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--raw") {
            raw = true;
        } else if (a == "--null") {
            discard = true;
        } else if (a == "--start" || a == "--end") {
            int64_t v;
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], v) || v < 0)
                return UsageError(a + " needs a sample number");
            (a == "--start" ? start : end) = v;
            ++i;
        } else if (a == "--seconds") {
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], seconds) || seconds <= 0)
                return UsageError("--seconds needs a whole number of seconds");
            ++i;
        } else if (a == "--track") {
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], track) || track < 1)
                return UsageError("--track needs a track number");
            ++i;
        } else if (a == "--replaygain") {
            if (i + 1 >= args.size() || !(gainMode = ParseReplayGainMode(args[i + 1])))
                return UsageError("--replaygain needs track, album or off");
            ++i;
        } else if (a == "--eq") {
            if (i + 1 >= args.size() || !(eq = ParseEqArgument(args[i + 1])))
                return UsageError("--eq needs ten gains G1,...,G10 (dB) or a preset's name");
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return UsageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != (discard ? 1u : 2u))
        return UsageError("decode needs IN and OUT (or --null and IN)");

    if (track > 0 && (start >= 0 || end >= 0))
        return UsageError("--track takes no --start or --end");

    Owned<TAuFileIn> input;
    if (track > 0) {
        // The sheet's (or the file's embedded sheet's) track of that number.
        std::vector<TPlaylistEntry> entries;
        ArgumentEntries(files[0], entries);
        const TPlaylistEntry* found = nullptr;
        for (const TPlaylistEntry& e : entries)
            if (TagsOf(e).Track == track && !found) found = &e;
        if (!found) {
            std::fprintf(stderr, "%s: no track %lld\n", EscapeControls(files[0]).c_str(),
                         static_cast<long long>(track));
            return 1;
        }
        input = OpenTrackInput(TrackOf(*found));
    } else {
        input = OpenInput(files[0]);
    }
    if (start >= 0) input->SetStartSample(start);
    if (end >= 0) input->SetEndSample(end);
    input->BeginRead();
    // A file no input can read decodes to nothing; that is a failure, not an
    // empty success (scripts and benchmarks rely on the exit status).
    if (!PlayableFormat(*input)) {
        input->EndRead();
        std::fprintf(stderr, "%s: not a file this input can read\n",
                     EscapeControls(files[0]).c_str());
        return 1;
    }
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();
    // Bytes of PCM --seconds asks for (-1: all there is).
    const int64_t limit = seconds < 0 ? -1 : seconds * rate * FrameBytesOf(channels, bits);
    // As the player would play it; files without gains play as they are.
    std::optional<TGainStage> gain;
    if (gainMode)
        if (const double g = ReplayGainFactor(input->ReplayGain(), {*gainMode, 0}); g != 1.0)
            gain.emplace(g, bits / 8);

    // Before the gain, as in the player; the headroom knows the track's peak.
    std::optional<TEqStage> shaper;
    if (eq) {
        const TReplayGain tags = input->ReplayGain();
        const double g = gainMode ? ReplayGainFactor(tags, {*gainMode, 0}) : 1.0;
        shaper.emplace(*eq, EqualizerPeak(TagPeak(tags), g), rate, channels, bits);
    }

    // A file gets its header first and its sizes patched at the end. Standard
    // output cannot be patched: it gets the run's length when the file gives
    // one, else the "unknown" size, and the PCM as it comes.
    const bool toStdout = !discard && files[1] == "-";
    int fd = -1;
    if (!discard) {
        fd = toStdout ? STDOUT_FILENO
                      : ::open(files[1].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            input->EndRead();
            std::fprintf(stderr, "%s: %s\n", EscapeControls(files[1]).c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    TSink sink(fd);
    bool ok = true;
    if (fd >= 0 && !raw) {
        int64_t size = input->DataSize();
        if (limit >= 0 && size > limit) size = limit;
        const bool known = toStdout && size >= 0 && !input->SizeIsEstimate();
        const std::vector<uint8_t> header = WaveHeader(channels, rate, bits,
                                                       known      ? static_cast<uint64_t>(size)
                                                       : toStdout ? kUnknownWaveSize
                                                                  : 0);
        ok = sink.Put(header.data(), header.size());
    }
    uint64_t total = 0;
    // A stream that breaks off, or a signal, ends the run early: what came
    // is kept, with a header that says how much it is.
    std::string brokeOff;
    const TStopSignals signals;
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = 1u << 20;
        if (limit >= 0) {
            if (total >= static_cast<uint64_t>(limit)) break;
            bytes = static_cast<uint32_t>(std::min<uint64_t>(bytes, limit - total));
        }
        if (const int sig = TStopSignals::Caught()) {
            brokeOff = strsignal(sig);
            break;
        }
        try {
            input->GetBlock(block, bytes);
        } catch (const std::exception& e) {
            brokeOff = e.what();
            break;
        }
        if (bytes == 0 || !block) break;
        total += bytes;
        if (fd < 0) continue;
        if (shaper) {
            const std::span<const uint8_t> shaped = shaper->Take(block, bytes);
            block = const_cast<uint8_t*>(shaped.data());
            bytes = static_cast<uint32_t>(shaped.size());
        }
        if (gain) {
            const std::span<const uint8_t> ready = gain->Take(block, bytes);
            if (!(ok = sink.Put(ready.data(), ready.size()))) break;
        } else if (!(ok = sink.Put(block, bytes))) {
            break;
        }
    }
    if (shaper && ok && fd >= 0) {
        // A partial frame at the very end goes on as it came.
        const std::span<const uint8_t> rest = shaper->Rest();
        if (gain) {
            const std::span<const uint8_t> ready = gain->Take(rest.data(), rest.size());
            ok = sink.Put(ready.data(), ready.size());
        } else {
            ok = sink.Put(rest.data(), rest.size());
        }
    }
    if (gain && ok && fd >= 0) {
        const std::span<const uint8_t> rest = gain->Rest();
        ok = sink.Put(rest.data(), rest.size());
    }
    input->EndRead();
    if (fd >= 0) ok = sink.Flush() && ok;
    if (fd >= 0 && !toStdout) {
        if (ok && !raw) {
            const std::vector<uint8_t> header = WaveHeader(channels, rate, bits, total);
            ok = ::pwrite(fd, header.data(), header.size(), 0) ==
                 static_cast<ssize_t>(header.size());
        }
        ok = ::close(fd) == 0 && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", EscapeControls(files[1]).c_str(), std::strerror(errno));
        return 1;
    }
    if (!brokeOff.empty()) {
        std::fprintf(stderr, "%s: %s; ended early after %.1f s\n", EscapeControls(files[0]).c_str(),
                     EscapeControls(brokeOff).c_str(),
                     static_cast<double>(total) /
                         (static_cast<double>(rate) * FrameBytesOf(channels, bits)));
        return kEndedEarly;
    }
    return 0;
}

TCommand decodeCmd("decode",
                   "decode [--raw] [--start N] [--end M] [--seconds S] [--track N] "
                   "[--replaygain track|album|off] [--eq G1,...,G10|PRESET] IN|URL OUT|-"
                   "   (or: decode --null IN)",
                   &Decode);

}  // namespace
}  // namespace quillet::cli
