// Damaged files of every format played the way the player plays them: the
// input chosen by extension, the real sink on a simulated device. Files are
// cut, bit-flipped, zeroed, 0xFF-filled and shuffled with a fixed seed, and
// every run must end with OnDone, without a crash, a hang or a flood of PCM
// far beyond what the undamaged file gives; an error report is fine. Then each
// codec library is made unavailable in turn: the formats that need it must say
// so and end, the others must still play.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "input_table.h"
#include "lib_loader.h"
#include "media_files.h"
#include "simulated_device.h"
#include "synthetic.h"

namespace quillet::test {
namespace {

using namespace std::chrono_literals;

// Fixed, so a failing variant is rebuilt byte for byte on the next run.
constexpr uint32_t kSeed = 20240611;
// A run takes milliseconds; this only tells a hang from a slow sanitizer build.
constexpr auto kRunBound = 60s;

struct RunResult {
    bool ended = false;  // OnDone came within the bound
    int errors = 0;      // thread-exception reports
    std::string error;   // the last one
    int64_t delivered = 0;
};

// The player's sink on a simulated device whose clock moves only when the
// sink sleeps, so a run takes no wall-clock time. One sink serves every run of
// a test, as in the player.
class Player {
  public:
    Player() {
        // Thousands of runs: forget released rings and what was played.
        sys->SetKeepHistory(false);
        // A small ring, so even 0.3 s needs several top-ups after the first fill.
        out->SetFramesInBuffer(4096);
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnThreadException([this](TComponent*) {
            lastError = out->LastError();
            ++errors;
        });
    }

    RunResult Play(const std::string& path) {
        RunResult r;
        const auto kind = FindInputKind(path);
        if (!kind) {
            ADD_FAILURE() << "no input for " << path;
            return r;
        }
        Owned<TAuFileIn> in(CreateInput(*kind, nullptr));
        in->SetFileName(path);
        const int before = done;
        errors = 0;
        lastError.clear();
        out->SetInput(in.get());
        out->Start();
        r.ended = PumpUntil([&] { return done > before; }, kRunBound);
        if (!r.ended) {
            // Ask the worker to stop; one that cannot is stuck inside a
            // decoder, and waiting for it would hang the whole test binary.
            out->Stop(true);
            if (!PumpUntil([&] { return !out->Active(); }, 10s)) {
                std::fprintf(stderr, "stuck run, cannot recover: %s\n", path.c_str());
                std::abort();
            }
            PumpUntil([&] { return done > before; }, 5s);
        }
        EXPECT_EQ(done.load(), before + 1) << "one OnDone per run";
        r.errors = errors;
        r.error = lastError;
        r.delivered = in->Delivered();
        out->SetInput(nullptr);
        return r;
    }

    int Runs() const { return done; }
    // The format the sink opened the device in, for the last run that got a ring.
    std::optional<TWaveFormat> LastRingFormat() const {
        const auto ring = sys->Ring();
        if (!ring) return std::nullopt;
        std::lock_guard<std::mutex> g(ring->Lock);
        return ring->Format;
    }
    std::shared_ptr<SimulatedSoundSystem> System() const { return sys; }

  private:
    std::atomic<int> done{0};
    std::atomic<int> errors{0};
    std::string lastError;  // written and read on the main thread
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
};

// "tone.mp3" + "cut-100" -> "<dir>/tone.cut-100.mp3": the extension picks the input.
std::string VariantPath(const MediaFile& f, const std::string& variant) {
    const size_t dot = f.name.rfind('.');
    return FixtureDir("corrupt") + "/" + f.name.substr(0, dot) + "." + variant + f.name.substr(dot);
}

struct Variant {
    std::string name;
    ByteVec data;
};

// Damage aimed at the header lands in the first bytes: the RIFF chunks, the
// first Ogg page, FLAC's STREAMINFO and the Musepack stream header lie within
// them, and so do the starts of the MP3 Xing frame and of the ASF header.
constexpr size_t kHeaderBytes = 256;

// The generator for one file and damage kind (FNV-1a of both, mixed with the
// seed), so adding a kind or a format leaves the other variants as they were.
std::mt19937 RngFor(const std::string& file, const std::string& kind) {
    uint32_t h = 2166136261u;
    for (char c : file + "/" + kind) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return std::mt19937(kSeed ^ h);
}

size_t Below(std::mt19937& rng, size_t n) {
    return n == 0 ? 0 : static_cast<size_t>(rng() % n);
}

std::vector<Variant> Truncations(const std::string& file, const ByteVec& d) {
    const size_t n = d.size();
    std::set<size_t> cuts = {0,   1,     2,     4,         8,       11,    12,   16,  20,
                             24,  36,    40,    44,        48,      60,    64,   100, 200,
                             512, n / 4, n / 2, 3 * n / 4, n - 100, n - 2, n - 1};
    auto rng = RngFor(file, "cut");
    for (int i = 0; i < 12; ++i) cuts.insert(Below(rng, n));
    std::vector<Variant> out;
    for (size_t c : cuts)
        if (c < n) out.push_back({"cut-" + std::to_string(c), Slice(d, 0, c)});
    return out;
}

std::vector<Variant> BitFlips(const std::string& file, const ByteVec& d) {
    auto rng = RngFor(file, "flip");
    const size_t n = d.size();
    std::vector<Variant> out;
    auto flip = [&](const std::string& name, size_t count, size_t within) {
        ByteVec v = d;
        for (size_t i = 0; i < count; ++i) v[Below(rng, within)] ^= uint8_t(1u << Below(rng, 8));
        out.push_back({name, std::move(v)});
    };
    const size_t header = std::min(n, kHeaderBytes);
    for (int i = 0; i < 12; ++i) flip("header-flip" + std::to_string(i), 1 + i % 3, header);
    for (int i = 0; i < 8; ++i) flip("flip" + std::to_string(i), 1 + i, n);
    flip("flip-0.1pc", n * 8 / 1000, n);
    flip("flip-1pc", n * 8 / 100, n);
    flip("flip-5pc", n * 8 / 20, n);
    return out;
}

// Zero- or 0xFF-filled ranges in the header and in the middle.
std::vector<Variant> FilledRanges(const std::string& file, const ByteVec& d) {
    auto rng = RngFor(file, "fill");
    const size_t n = d.size();
    std::vector<Variant> out;
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}}) {
        const std::string tag = value ? "ff" : "zero";
        auto fill = [&](const std::string& where, size_t from, size_t count) {
            ByteVec v = d;
            from = std::min(from, n);
            count = std::min(count, n - from);
            std::fill_n(v.begin() + static_cast<std::ptrdiff_t>(from), count, value);
            out.push_back(
                {tag + "-" + where + "-" + std::to_string(from) + "+" + std::to_string(count),
                 std::move(v)});
        };
        fill("header", 0, 4);
        fill("header", Below(rng, 48), 4 + Below(rng, 60));
        fill("header", Below(rng, kHeaderBytes), 16);
        fill("middle", n / 2 - Below(rng, n / 8), 16 + Below(rng, n / 8));
        fill("middle", n / 3, 1);
        fill("tail", n - 64, 64);
    }
    return out;
}

// Cut into N pieces and put back in another order.
std::vector<Variant> Shuffles(const std::string& file, const ByteVec& d) {
    auto rng = RngFor(file, "shuffle");
    std::vector<Variant> out;
    for (size_t pieces : {2u, 3u, 3u, 4u, 4u, 8u, 8u, 16u, 64u}) {
        std::vector<size_t> order(pieces);
        for (size_t i = 0; i < pieces; ++i) order[i] = i;
        for (size_t i = pieces - 1; i > 0; --i) std::swap(order[i], order[Below(rng, i + 1)]);
        if (std::is_sorted(order.begin(), order.end()))
            std::rotate(order.begin(), order.begin() + 1, order.end());
        const size_t piece = (d.size() + pieces - 1) / pieces;
        ByteVec v;
        for (size_t p : order) {
            const ByteVec part = Slice(d, p * piece, piece);
            v.insert(v.end(), part.begin(), part.end());
        }
        out.push_back(
            {"shuffle" + std::to_string(out.size()) + "-" + std::to_string(pieces), std::move(v)});
    }
    return out;
}

using Damage = std::vector<Variant> (*)(const std::string&, const ByteVec&);

// Plays every variant `damage` makes of every format; none may deliver more
// than `maxRatio` times what the undamaged file gives.
void PlayDamaged(Damage damage, double maxRatio) {
    Player player;
    int runs = 0;
    for (const MediaFile& f : MediaFiles()) {
        SCOPED_TRACE(f.name);
        const RunResult original = player.Play(f.path);
        ++runs;
        ASSERT_TRUE(original.ended);
        ASSERT_EQ(original.error, "");
        ASSERT_GT(original.delivered, 0);
        const auto limit = static_cast<int64_t>(maxRatio * static_cast<double>(original.delivered));
        const ByteVec bytes = ReadAll(f.path);
        ASSERT_GT(bytes.size(), kHeaderBytes);
        for (const Variant& v : damage(f.name, bytes)) {
            SCOPED_TRACE("seed " + std::to_string(kSeed) + " variant " + v.name);
            const std::string path = VariantPath(f, v.name);
            WriteAll(path, v.data);
            const RunResult r = player.Play(path);
            ++runs;
            EXPECT_TRUE(r.ended) << "no OnDone within the bound";
            EXPECT_LE(r.errors, 1);
            EXPECT_LE(r.delivered, limit) << "original " << original.delivered;
        }
    }
    // No late or doubled OnDone.
    CheckSynchronize(20ms);
    EXPECT_EQ(player.Runs(), runs);
}

TEST(CorruptCorpus, UndamagedFilesPlayToTheEnd) {
    Player player;
    ASSERT_EQ(MediaFiles().size(), 10u);
    for (const MediaFile& f : MediaFiles()) {
        SCOPED_TRACE(f.name);
        const RunResult r = player.Play(f.path);
        EXPECT_TRUE(r.ended);
        EXPECT_EQ(r.errors, 0) << r.error;
        // Measured in the device's own format: the MP3 encoder resamples,
        // and codecs pad or trim whole frames.
        const auto format = player.LastRingFormat();
        ASSERT_TRUE(format.has_value());
        ASSERT_GT(format->BlockAlign * format->SamplesPerSec, 0u);
        const double seconds =
            static_cast<double>(r.delivered) / (format->BlockAlign * format->SamplesPerSec);
        EXPECT_GT(seconds, 0.25);
        EXPECT_LT(seconds, 0.4);
    }
}

// A PCM WAV header with a sample size no decoder plays, and no data.
ByteVec UnplayableWav(uint16_t channels, uint16_t bits) {
    ByteVec w;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto id = [&](const char* s) { w.insert(w.end(), s, s + 4); };
    const auto align = static_cast<uint16_t>(channels * bits / 8);
    id("RIFF");
    put(36, 4);
    id("WAVE");
    id("fmt ");
    put(16, 4);
    put(1, 2);  // PCM
    put(channels, 2);
    put(44100, 4);
    put(44100u * align, 4);
    put(align, 2);
    put(bits, 2);
    id("data");
    put(0, 4);
    return w;
}

// An unplayable WAV keeps its header's channels, bits and rate; the output
// sized its buffers from them before any device had seen the format, so this
// 44-byte file cost 1.4 GB of zeroed memory per run (and a device taking any
// format played silence with no error). No ring may be made for it.
TEST(CorruptCorpus, AnUnplayableWavSizesNoOutput) {
    Player player;
    const std::string path = FixtureDir("corrupt") + "/unplayable.wav";
    WriteAll(path, UnplayableWav(3, 60000));
    const RunResult r = player.Play(path);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.errors, 1);
    EXPECT_TRUE(player.System()->Ring() == nullptr)
        << "a ring was made for a file that cannot play";
}

// A cut file holds no more sound than the whole one.
TEST(CorruptCorpus, TruncatedFilesEndCleanly) {
    PlayDamaged(&Truncations, 1.0);
}

// Damage may change a header's counts (a lost MP3 gapless tag adds the
// encoder's padding back), so these bounds are loose: they catch a decoder
// that runs away, not one that is off by a few frames.
TEST(CorruptCorpus, BitFlippedFilesEndCleanly) {
    PlayDamaged(&BitFlips, 4.0);
}

TEST(CorruptCorpus, ZeroedAndFilledRangesEndCleanly) {
    PlayDamaged(&FilledRanges, 4.0);
}

TEST(CorruptCorpus, ShuffledFilesEndCleanly) {
    PlayDamaged(&Shuffles, 4.0);
}

// Makes a library unavailable for its lifetime, even when an assertion leaves
// the test early: a failure left set would break every later test.
class UnavailableLibrary {
  public:
    explicit UnavailableLibrary(std::string file) : File(std::move(file)) {
        FailLibraryLoadForTesting(File, true);
    }
    ~UnavailableLibrary() { FailLibraryLoadForTesting(File, false); }
    UnavailableLibrary(const UnavailableLibrary&) = delete;
    UnavailableLibrary& operator=(const UnavailableLibrary&) = delete;

  private:
    const std::string File;
};

struct LibraryUse {
    const char* file;
    std::set<std::string> formats;  // the media files whose input needs it
};

// MP3-in-WAV is converted through FFmpeg; the other WAVs need no library.
const std::set<std::string> kFfmpegFiles = {"mp3in.wav", "tone.mp3", "tone.wma"};
const LibraryUse kLibraries[] = {
    {"libavutil.so.57", kFfmpegFiles},    {"libswresample.so.4", kFfmpegFiles},
    {"libavcodec.so.59", kFfmpegFiles},   {"libavformat.so.59", kFfmpegFiles},
    {"libogg.so.0", {"tone.ogg"}},        {"libvorbis.so.0", {"tone.ogg"}},
    {"libvorbisfile.so.3", {"tone.ogg"}}, {"libvorbisenc.so.2", {"tone.ogg"}},
    {"libFLAC.so.12", {"tone.flac"}},     {"libmpcdec.so.6", {"tone.mpc"}},
};

TEST(MissingLibraries, OnlyTheFormatsThatNeedALibraryFailWithoutIt) {
    // Every library-backed format is in the table, so a new one cannot
    // silently escape this check.
    std::set<std::string> covered = {"pcm16.wav", "float.wav", "ima.wav", "msadpcm.wav"};
    for (const LibraryUse& lib : kLibraries) covered.insert(lib.formats.begin(), lib.formats.end());
    for (const MediaFile& f : MediaFiles()) EXPECT_TRUE(covered.count(f.name)) << f.name;

    Player player;
    for (const LibraryUse& lib : kLibraries) {
        SCOPED_TRACE(lib.file);
        {
            UnavailableLibrary missing(lib.file);
            for (const MediaFile& f : MediaFiles()) {
                SCOPED_TRACE(f.name);
                const RunResult r = player.Play(f.path);
                ASSERT_TRUE(r.ended);
                if (lib.formats.count(f.name)) {
                    EXPECT_EQ(r.errors, 1);
                    EXPECT_EQ(r.error, std::string(lib.file) + " library could not be loaded.");
                    EXPECT_EQ(r.delivered, 0);
                } else {
                    EXPECT_EQ(r.errors, 0) << r.error;
                    EXPECT_GT(r.delivered, 0);
                }
            }
        }
        // A failed load is not remembered: the library loads at the next open.
        for (const MediaFile& f : MediaFiles()) {
            if (!lib.formats.count(f.name)) continue;
            SCOPED_TRACE(f.name + " after the library is back");
            const RunResult r = player.Play(f.path);
            EXPECT_EQ(r.errors, 0) << r.error;
            EXPECT_GT(r.delivered, 0);
        }
    }
}

}  // namespace
}  // namespace quillet::test
