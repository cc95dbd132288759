// quillet-cli loudness: the EBU R128 loudness of each file and of the whole
// set (the album), with the ReplayGain 2.0 gains (reference -18 LUFS), decoded
// through the player's own inputs. libebur128 does the measuring; it is
// loaded at run time like the codec libraries, so a machine without it loses
// this command only. Files are scanned one per thread on every core, and
// reported in the order given as soon as each is done.
#include <ebur128.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "lib_loader.h"
#include "media_common.h"

namespace quillet::cli {
namespace {

struct TEbur128Lib : TLibrary {
    TEbur128Lib() : TLibrary("libebur128.so.1") {}
    QUILLET_LIB_ENTRY(ebur128_init);
    QUILLET_LIB_ENTRY(ebur128_destroy);
    QUILLET_LIB_ENTRY(ebur128_set_channel);
    QUILLET_LIB_ENTRY(ebur128_add_frames_short);
    QUILLET_LIB_ENTRY(ebur128_add_frames_int);
    QUILLET_LIB_ENTRY(ebur128_loudness_global);
    QUILLET_LIB_ENTRY(ebur128_loudness_global_multiple);
    QUILLET_LIB_ENTRY(ebur128_loudness_range);
    QUILLET_LIB_ENTRY(ebur128_loudness_range_multiple);
    QUILLET_LIB_ENTRY(ebur128_true_peak);
};

TEbur128Lib& Ebur128Lib() {
    static TEbur128Lib lib;
    return lib;
}

struct TStateFree {
    void operator()(ebur128_state* s) const { Ebur128Lib().ebur128_destroy(&s); }
};
using TMeter = std::unique_ptr<ebur128_state, TStateFree>;

// The ReplayGain 2.0 reference level.
constexpr double kReferenceLufs = -18.0;

struct TFigures {
    double Integrated = -HUGE_VAL;  // LUFS
    double Range = 0;               // LU
    double TruePeak = 0;            // linear, 1 = full scale
};

struct TScan {
    std::string Path;
    TMeter Meter;       // kept for the album figures; null when the scan failed
    std::string Error;  // why it failed
    TFigures Figures;
    bool Done = false;  // under the scanner's lock
};

// Feeds a run's PCM to the meter in whole frames, as 16-bit or 32-bit
// integers (the widths libebur128 takes); a frame split between two blocks
// waits for its rest.
class TMeterFeed {
  public:
    TMeterFeed(ebur128_state* meter, uint32_t channels, uint32_t bits)
        : FMeter(meter), FChannels(channels), FWidth(bits / 8), FFrames(channels * (bits / 8)) {}

    // False when the meter ran out of memory.
    bool Add(const uint8_t* data, size_t size) {
        const std::span<const uint8_t> whole = FFrames.Take(data, size);
        return AddFrames(Ebur128Lib(), whole.data(), whole.size() / (FChannels * FWidth));
    }

  private:
    bool AddFrames(TEbur128Lib& lib, const uint8_t* data, size_t frames) {
        if (frames == 0) return true;
        const size_t samples = frames * FChannels;
        int result = EBUR128_SUCCESS;
        switch (FWidth) {
            case 2:
                FShorts.resize(samples);
                std::memcpy(FShorts.data(), data, samples * 2);
                result = lib.ebur128_add_frames_short(FMeter, FShorts.data(), frames);
                break;
            case 1:
                FShorts.resize(samples);
                for (size_t i = 0; i < samples; ++i)
                    FShorts[i] = static_cast<short>((data[i] - 128) * 256);
                result = lib.ebur128_add_frames_short(FMeter, FShorts.data(), frames);
                break;
            case 3:
                FInts.resize(samples);
                for (size_t i = 0; i < samples; ++i, data += 3) FInts[i] = Packed24High(data);
                result = lib.ebur128_add_frames_int(FMeter, FInts.data(), frames);
                break;
            default:
                FInts.resize(samples);
                std::memcpy(FInts.data(), data, samples * 4);
                result = lib.ebur128_add_frames_int(FMeter, FInts.data(), frames);
                break;
        }
        return result == EBUR128_SUCCESS;
    }

    ebur128_state* FMeter;
    uint32_t FChannels, FWidth;
    TWholeUnits FFrames;
    std::vector<short> FShorts;
    std::vector<int> FInts;
};

TFigures FiguresOf(ebur128_state* meter, uint32_t channels) {
    TEbur128Lib& lib = Ebur128Lib();
    TFigures f;
    lib.ebur128_loudness_global(meter, &f.Integrated);
    lib.ebur128_loudness_range(meter, &f.Range);
    for (uint32_t c = 0; c < channels; ++c) {
        double peak = 0;
        if (lib.ebur128_true_peak(meter, c, &peak) == EBUR128_SUCCESS)
            f.TruePeak = std::max(f.TruePeak, peak);
    }
    return f;
}

// Decodes one file into a meter of its own. Errors, including those halfway
// through, go to scan.Error and leave no meter.
void Measure(TScan& scan) {
    try {
        Owned<TAuFileIn> input = OpenInput(scan.Path);
        input->BeginRead();
        struct TEnd {
            TAuFileIn& In;
            ~TEnd() {
                try {
                    In.EndRead();
                } catch (...) {
                }
            }
        } end{*input};
        if (!PlayableFormat(*input)) throw EAuException("not a file this input can read");
        const uint32_t channels = input->GetChannels(), bits = input->GetBitsPerSample();
        TMeter meter(
            Ebur128Lib().ebur128_init(channels, input->GetSampleRate(),
                                      EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
        if (!meter) throw EAuException("Out of memory");
        // 7.1 in the WAVE order: the side pair counts as surround too.
        if (channels == 8) {
            Ebur128Lib().ebur128_set_channel(meter.get(), 6, EBUR128_LEFT_SURROUND);
            Ebur128Lib().ebur128_set_channel(meter.get(), 7, EBUR128_RIGHT_SURROUND);
        }
        TMeterFeed feed(meter.get(), channels, bits);
        for (;;) {
            uint8_t* block = nullptr;
            uint32_t bytes = 1u << 18;
            input->GetBlock(block, bytes);
            if (bytes == 0 || !block) break;
            if (!feed.Add(block, bytes)) throw EAuException("Out of memory");
        }
        scan.Figures = FiguresOf(meter.get(), channels);
        scan.Meter = std::move(meter);
    } catch (const std::exception& e) {
        scan.Error = e.what();
        scan.Meter.reset();
    }
}

void PrintFigures(const char* prefix, const char* gainKey, const char* peakKey, const TFigures& f) {
    if (std::isfinite(f.Integrated))
        std::printf("%sintegrated: %.2f LUFS\n", prefix, f.Integrated);
    else
        std::printf("%sintegrated: -inf LUFS\n", prefix);
    if (f.TruePeak > 0)
        std::printf("%strue_peak: %.2f dBTP\n", prefix, 20 * std::log10(f.TruePeak));
    else
        std::printf("%strue_peak: -inf dBTP\n", prefix);
    std::printf("%sloudness_range: %.2f LU\n", prefix, f.Range);
    // Silence has no loudness to correct.
    if (std::isfinite(f.Integrated))
        std::printf("%s: %.2f dB\n", gainKey, kReferenceLufs - f.Integrated);
    std::printf("%s: %.6f\n", peakKey, f.TruePeak);
}

int Loudness(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-') return UsageError("unknown option " + a);
    if (args.empty()) return UsageError("loudness needs at least one FILE");
    RequireLibraries({&Ebur128Lib()});

    std::vector<TScan> scans(args.size());
    for (size_t i = 0; i < args.size(); ++i) scans[i].Path = args[i];

    std::mutex lock;
    std::condition_variable finished;
    size_t doneCount = 0;  // under lock
    std::atomic<size_t> next{0};
    const size_t threads =
        std::min<size_t>(scans.size(), std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < scans.size();) {
                Measure(scans[i]);
                std::lock_guard<std::mutex> g(lock);
                scans[i].Done = true;
                ++doneCount;
                finished.notify_one();
            }
        });

    // Each file's lines as soon as it and those before it are done (a done
    // scan is no longer touched by its worker); on a terminal, a progress
    // line on standard error for a set.
    const bool progress = scans.size() > 1 && ::isatty(STDERR_FILENO);
    size_t printed = 0, ready = 0, seen = 0;
    bool failed = false;
    while (printed < scans.size()) {
        {
            std::unique_lock<std::mutex> g(lock);
            finished.wait(g, [&] { return doneCount != seen; });
            seen = doneCount;
            while (ready < scans.size() && scans[ready].Done) ++ready;
        }
        if (progress) std::fputs("\r\033[K", stderr);
        for (; printed < ready; ++printed) {
            const TScan& s = scans[printed];
            if (printed > 0) std::putchar('\n');
            std::printf("file: %s\n", s.Path.c_str());
            if (s.Meter) {
                PrintFigures("", "track_gain", "track_peak", s.Figures);
            } else {
                std::printf("error: %s\n", s.Error.c_str());
                failed = true;
            }
        }
        std::fflush(stdout);
        if (progress && printed < scans.size())
            std::fprintf(stderr, "loudness: %zu of %zu files", seen, scans.size());
    }
    for (std::thread& w : workers) w.join();

    // The set: every file that was measured whole, as one programme.
    std::vector<ebur128_state*> meters;
    TFigures album;
    for (const TScan& s : scans)
        if (s.Meter) {
            meters.push_back(s.Meter.get());
            album.TruePeak = std::max(album.TruePeak, s.Figures.TruePeak);
        }
    if (!meters.empty()) {
        TEbur128Lib& lib = Ebur128Lib();
        lib.ebur128_loudness_global_multiple(meters.data(), meters.size(), &album.Integrated);
        lib.ebur128_loudness_range_multiple(meters.data(), meters.size(), &album.Range);
        std::printf("\nalbum_files: %zu\n", meters.size());
        PrintFigures("album_", "album_gain", "album_peak", album);
    }
    return failed ? 1 : 0;
}

TCommand loudnessCmd("loudness", "loudness FILE...", &Loudness);

}  // namespace
}  // namespace quillet::cli
