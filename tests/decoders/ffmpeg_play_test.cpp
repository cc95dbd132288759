// Damaged files of every format of the general FFmpeg input played through a
// sink's worker: cut, bit-flipped and empty, each run ends with exactly one
// OnDone and never delivers more than the sound file would.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ffmpeg_fixture.h"
#include "ffmpeg_input.h"
#include "synthetic.h"

namespace quillet::test::ff {
namespace {

struct TDamage {
    const char* Name;
    Bytes (*Apply)(Bytes, std::mt19937&);
};

const TDamage kDamage[] = {
    {"cut", [](Bytes b, std::mt19937&) { return Bytes(b.begin(), b.begin() + b.size() / 3); }},
    {"header-cut",
     [](Bytes b, std::mt19937&) {
         return Bytes(b.begin(), b.begin() + std::min<std::ptrdiff_t>(b.size(), 40));
     }},
    {"flipped",
     [](Bytes b, std::mt19937& rng) {
         // Every header byte has a chance, then the body sparsely.
         for (size_t i = 0; i < b.size(); i += (i < 512 ? 7 : 397))
             b[i] ^= static_cast<uint8_t>(1u << (rng() % 8));
         return b;
     }},
    {"empty", [](Bytes, std::mt19937&) { return Bytes(); }},
};

TEST(FfPlay, DamagedFilesEndWithOneOnDone) {
    std::mt19937 rng(20261208);
    for (const TFfFixture& f : kFfFixtures) {
        const std::string path = MakeFixture(f);
        ASSERT_FALSE(path.empty()) << f.Name;
        const Bytes whole = ReadFile(path);
        // The source's PCM at 32 bits (the widest output), with room to spare.
        const int64_t limit = 4 * static_cast<int64_t>(std::filesystem::file_size(Source(f)));
        for (const TDamage& d : kDamage) {
            SCOPED_TRACE(std::string(f.Name) + " " + d.Name);
            const std::string damaged = wm::WmDir() + "/" + d.Name + "_" + f.Name;
            wm::WriteFile(damaged, d.Apply(whole, rng));
            TFFmpegIn in;
            in.SetFileName(damaged);
            MemorySink sink;
            int done = 0;
            sink.SetOnDone([&](TComponent*) { ++done; });
            sink.SetInput(&in);
            sink.Start();
            ASSERT_TRUE(PumpUntil([&] { return done >= 1; }));
            PumpUntil([] { return false; }, std::chrono::milliseconds(20));
            EXPECT_EQ(done, 1);
            EXPECT_LE(static_cast<int64_t>(sink.Data().size()), limit);
        }
    }
}

}  // namespace
}  // namespace quillet::test::ff
