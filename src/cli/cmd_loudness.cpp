// quillet-cli loudness: the EBU R128 loudness of each file and of the whole
// set (the album), with the ReplayGain 2.0 gains (reference -18 LUFS),
// measured as the player measures them (loudness_meter.h). Files are scanned
// one per thread on every core, and reported in the order given as soon as
// each is done. --write-cache also keeps each file's figures in the player's
// loudness cache, so the player need not measure them again.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "loudness_cache.h"
#include "loudness_meter.h"
#include "text.h"

namespace quillet::cli {
namespace {

struct TScan {
    std::string Path;
    std::optional<TLoudnessKey> Key;  // the file as it was measured, for the cache
    TLoudness Figures;
    std::string Error;  // why it failed; empty when measured
    bool Done = false;  // under the scanner's lock
};

// Decodes one file. Errors, including those halfway through, go to
// scan.Error.
void Measure(TScan& scan) {
    try {
        // The player looks files up by their full path.
        scan.Key = LoudnessKeyOf(std::filesystem::absolute(scan.Path).lexically_normal());
        TMeasureOptions options;
        options.Range = true;
        options.KeepMeter = true;
        scan.Figures = MeasureFile(scan.Path, options);
    } catch (const std::exception& e) {
        scan.Error = e.what();
        if (scan.Error.empty()) scan.Error = "failed";
    }
}

void PrintFigures(const char* prefix, const char* gainKey, const char* peakKey,
                  const TLoudness& f) {
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
    bool writeCache = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--write-cache")
            writeCache = true;
        else if (a.size() > 1 && a[0] == '-')
            return UsageError("unknown option " + a);
        else
            files.push_back(a);
    }
    if (files.empty()) return UsageError("loudness needs at least one FILE");
    const std::string cacheFile = writeCache ? DefaultLoudnessCacheFile() : std::string();
    if (writeCache && cacheFile.empty())
        return UsageError("--write-cache needs $XDG_CACHE_HOME or $HOME");

    std::vector<TScan> scans(files.size());
    for (size_t i = 0; i < files.size(); ++i) scans[i].Path = files[i];

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
            std::printf("file: %s\n", EscapeControls(s.Path).c_str());
            if (s.Error.empty()) {
                PrintFigures("", "track_gain", "track_peak", s.Figures);
            } else {
                std::printf("error: %s\n", EscapeControls(s.Error).c_str());
                failed = true;
            }
        }
        std::fflush(stdout);
        if (progress && printed < scans.size())
            std::fprintf(stderr, "loudness: %zu of %zu files", seen, scans.size());
    }
    for (std::thread& w : workers) w.join();

    // The set: every file that was measured whole, as one programme.
    std::vector<const TLoudness*> measured;
    std::vector<const TBlockHistogram*> blocks;
    TLoudness album;
    for (const TScan& s : scans)
        if (s.Error.empty()) {
            measured.push_back(&s.Figures);
            blocks.push_back(&s.Figures.Blocks);
            album.TruePeak = std::max(album.TruePeak, s.Figures.TruePeak);
        }
    if (!measured.empty()) {
        album.Integrated = GatedLoudness(blocks);
        album.Range = SetLoudnessRange(measured);
        std::printf("\nalbum_files: %zu\n", measured.size());
        PrintFigures("album_", "album_gain", "album_peak", album);
    }
    std::fflush(stdout);
    if (writeCache) {
        TLoudnessCache cache;
        cache.Load(cacheFile);
        for (const TScan& s : scans)
            if (s.Error.empty() && s.Key)
                cache.Put(*s.Key, {s.Figures.Integrated, s.Figures.TruePeak, s.Figures.Blocks});
        if (!cache.Save(cacheFile)) {
            std::fprintf(stderr, "%s: the loudness cache could not be written\n",
                         EscapeControls(cacheFile).c_str());
            failed = true;
        }
    }
    return failed ? 1 : 0;
}

TCommand loudnessCmd("loudness", "loudness [--write-cache] FILE...", &Loudness);

}  // namespace
}  // namespace quillet::cli
