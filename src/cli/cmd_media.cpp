// quillet-cli decode, info and play: the player's own inputs (chosen by
// extension, as the window chooses them) and its own output, without the
// window.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Procs.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
#include "commands.h"
#include "input_table.h"
#include "main_thread.h"

namespace quillet::cli {
namespace {

const char kFormatNotSupported[] = "Format not supported";

// The input the player would use for `path`, with the file name set.
// Raises "Format not supported" for an extension with no input.
Owned<TAuFileIn> OpenInput(const std::string& path) {
    const auto kind = FindInputKind(path);
    TAuFileIn* input = kind ? CreateInput(*kind, nullptr) : nullptr;
    if (!input) throw EAuException(kFormatNotSupported);
    Owned<TAuFileIn> owned(input);
    owned->SetFileName(path);
    return owned;
}

bool ParseInt64(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

// The canonical 44-byte header of a PCM WAV.
std::vector<uint8_t> WaveHeader(uint32_t channels, uint32_t rate, uint32_t bits,
                                uint64_t dataSize) {
    std::vector<uint8_t> h(44, 0);
    const uint32_t size =
        dataSize > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataSize);
    const uint16_t align = FrameBytesOf(channels, bits);
    std::memcpy(&h[0], "RIFF", 4);
    PutLE32(&h[4], 36 + size);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLE32(&h[16], 16);
    PutLE16(&h[20], 1);
    PutLE16(&h[22], static_cast<uint16_t>(channels));
    PutLE32(&h[24], rate);
    PutLE32(&h[28], rate * align);
    PutLE16(&h[32], align);
    PutLE16(&h[34], static_cast<uint16_t>(bits));
    std::memcpy(&h[36], "data", 4);
    PutLE32(&h[40], size);
    return h;
}

bool WriteAll(FILE* f, const void* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, f) == size;
}

int Decode(const std::vector<std::string>& args) {
    bool raw = false, discard = false;
    int64_t start = -1, end = -1;
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
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return UsageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != (discard ? 1u : 2u))
        return UsageError("decode needs IN and OUT (or --null and IN)");

    Owned<TAuFileIn> input = OpenInput(files[0]);
    if (start >= 0) input->SetStartSample(start);
    if (end >= 0) input->SetEndSample(end);
    input->BeginRead();
    // A file no input can read decodes to nothing; that is a failure, not an
    // empty success (scripts and benchmarks rely on the exit status).
    if (!input->IsValid()) {
        input->EndRead();
        std::fprintf(stderr, "%s: not a file this input can read\n", files[0].c_str());
        return 1;
    }
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();

    // A file gets its header first and its sizes patched at the end; standard
    // output cannot be patched, so its PCM is held until the end.
    const bool toStdout = !discard && files[1] == "-";
    FILE* out = nullptr;
    if (!discard) {
        out = toStdout ? stdout : std::fopen(files[1].c_str(), "wb");
        if (!out) {
            input->EndRead();
            std::fprintf(stderr, "%s: %s\n", files[1].c_str(), std::strerror(errno));
            return 1;
        }
    }
    bool ok = true;
    if (out && !raw && !toStdout)
        ok = WriteAll(out, WaveHeader(channels, rate, bits, 0).data(), 44);
    std::vector<uint8_t> held;
    uint64_t total = 0;
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = 1u << 20;
        input->GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        total += bytes;
        if (!out) continue;
        if (toStdout && !raw)
            held.insert(held.end(), block, block + bytes);
        else
            ok = ok && WriteAll(out, block, bytes);
    }
    input->EndRead();
    if (out && toStdout && !raw) {
        ok = WriteAll(out, WaveHeader(channels, rate, bits, total).data(), 44) &&
             WriteAll(out, held.data(), held.size());
    } else if (out && !raw) {
        const std::vector<uint8_t> header = WaveHeader(channels, rate, bits, total);
        ok = ok && std::fseek(out, 0, SEEK_SET) == 0 && WriteAll(out, header.data(), 44);
    }
    if (out) ok = (out == stdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", files[1].c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

// The lines of one tag set.
void PrintTagSet(const char* set, const TAuTags& tags) {
    for (const TTagFieldText& f : tags.ListFields())
        std::printf("%s.%s: %s\n", set, f.Property.c_str(), f.Value.c_str());
}

// One "SET.Field: value" line per non-empty tag field the input filled
// (SET: id3v1, id3v2, apev2, vorbis); the tag-reading inputs list theirs here.
void PrintTagLines(TAuFileIn& input) {
    // MP3 and WMA: the seven header attributes, in the ID3v2 set.
    if (auto* wm = dynamic_cast<TWMIn*>(&input)) PrintTagSet("id3v2", wm->Id3v2Tags());
    // FLAC: the six Vorbis comments.
    if (auto* flac = dynamic_cast<TFLACIn*>(&input)) PrintTagSet("vorbis", flac->VorbisTags());
    // Ogg Vorbis: the six comments; Musepack: the APEv2 tag at the end.
    if (auto* ogg = dynamic_cast<TVorbisIn*>(&input)) PrintTagSet("vorbis", ogg->VorbisTags());
    if (auto* mpc = dynamic_cast<TMPCIn*>(&input)) PrintTagSet("apev2", mpc->APEv2Tags());
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("info needs one file");
    Owned<TAuFileIn> input = OpenInput(args[0]);
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();
    const int64_t samples = input->GetSampleCount();
    const bool valid = input->IsValid();
    const double duration = samples > 0 && rate > 0 ? static_cast<double>(samples) / rate : 0.0;
    std::printf("channels: %u\nrate: %u\nbits: %u\nsamples: %lld\nduration: %.3f\nvalid: %s\n",
                channels, rate, bits, static_cast<long long>(samples), duration,
                valid ? "yes" : "no");
    PrintTagLines(*input);
    return 0;
}

int Play(const std::vector<std::string>& args) {
    int64_t volume = 0;
    bool volumeSet = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--volume") {
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], volume) || volume > 0 ||
                volume < -10000)
                return UsageError("--volume needs hundredths of a decibel, -10000..0");
            volumeSet = true;
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) return UsageError("play needs at least one file");

    SetMainThread();
    std::vector<Owned<TAuFileIn>> inputs;  // outlive the sink that refers to them
    auto out = MakeOwned<TDXAudioOut>(nullptr);
    // The window's ring settings.
    out->SetDeviceNumber(0);
    out->SetFramesInBuffer(65536);
    out->SetPollingInterval(200);
    if (volumeSet) out->SetVolume(static_cast<int32_t>(volume));
    std::atomic<bool> done{false};
    bool failed = false;
    out->SetOnDone([&](TComponent*) { done = true; });
    out->SetOnThreadException([&](TComponent*) {
        std::fprintf(stderr, "%s\n", out->LastError().c_str());
        failed = true;
    });
    for (const std::string& file : files) {
        try {
            inputs.push_back(OpenInput(file));
            out->SetInput(inputs.back().get());
            done = false;
            out->Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
            failed = true;
            continue;
        }
        // The handlers run here, on the main thread, as the window's would.
        while (!done) CheckSynchronize(std::chrono::milliseconds(100));
        out->SetInput(nullptr);
        inputs.pop_back();
    }
    return failed ? 1 : 0;
}

TCommand decodeCmd("decode",
                   "decode [--raw] [--start N] [--end M] IN OUT|-   (or: decode --null IN)",
                   &Decode);
TCommand infoCmd("info", "info IN", &Info);
TCommand playCmd("play", "play [--volume V] IN...", &Play);

}  // namespace
}  // namespace quillet::cli
