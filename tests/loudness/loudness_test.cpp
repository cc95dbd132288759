// The meter's gating blocks against libebur128's own gated loudness, and the
// cache of measured files: what survives a round trip, what damage, size
// limits and an unwritable folder leave.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "loudness_cache.h"
#include "loudness_meter.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

std::string Dir() {
    const std::string dir = TmpRoot() + "/loudness";
    std::filesystem::create_directories(dir);
    return dir;
}

// Each file's blocks give the loudness the library itself gives for the
// file, and together the loudness it gives for the set: the album gain a
// cache of blocks yields is the one a scan of the whole album would.
TEST(LoudnessMeter, BlocksGiveWhatLibebur128GivesForAFileAndForASet) {
    const std::string dir = Dir();
    const std::vector<std::string> recipes = {
        "sox -R -n -r 44100 -c 2 -b 16 $F synth 4 pinknoise vol 0.5",
        "sox -R -n -r 48000 -c 1 -b 24 $F synth 2 sine 440 vol 0.05 pad 0 2",
        "sox -R -n -r 44100 -c 2 -b 16 $F.wav synth 3 sine 300-3000 vol 0.2 && "
        "lame --quiet $F.wav $F",
    };
    std::vector<TLoudness> files;
    for (size_t i = 0; i < recipes.size(); ++i) {
        const std::string f = dir + "/set" + std::to_string(i) + (i == 2 ? ".mp3" : ".wav");
        ASSERT_TRUE(Shell("F=" + f + "; " + recipes[i]));
        files.push_back(MeasureFile(f, {.KeepMeter = true}));
        const TBlockHistogram* own[] = {&files.back().Blocks};
        EXPECT_NEAR(GatedLoudness(own), files.back().Integrated, 1e-9) << f;
    }
    std::vector<const TBlockHistogram*> blocks;
    std::vector<ebur128_state*> meters;
    for (const TLoudness& l : files) {
        blocks.push_back(&l.Blocks);
        meters.push_back(l.Meter->State.get());
    }
    double set = 0;
    ASSERT_EQ(Ebur128Lib().ebur128_loudness_global_multiple(meters.data(), meters.size(), &set),
              EBUR128_SUCCESS);
    EXPECT_NEAR(GatedLoudness(blocks), set, 1e-9);
    // Far apart: the quiet file's blocks fall under the set's relative gate.
    EXPECT_GT(files[0].Integrated - files[1].Integrated, 10);
    EXPECT_EQ(GatedLoudness({}), -HUGE_VAL);
}

class LoudnessCacheTest : public testing::Test {
  protected:
    std::string File = Dir() + "/cache/quillet/loudness.txt";
    void SetUp() override { std::filesystem::remove_all(Dir() + "/cache"); }
    static TCachedLoudness Value(double lufs) {
        return {lufs, 0.5, {{{100, 3}, {101, 1}, {640, 70000}}}};
    }
};

TEST_F(LoudnessCacheTest, EntriesSurviveASaveAndBelongToTheFileAsItWas) {
    TLoudnessCache cache;
    const TLoudnessKey odd{"/music/a b%\n\x01\xff.flac", 1234, -5};
    cache.Put(odd, Value(-20.25));
    cache.Put({"/music/silent.wav", 10, 7}, {-HUGE_VAL, 0, {}});
    ASSERT_TRUE(cache.Save(File));  // creates the folder

    TLoudnessCache back;
    back.Load(File);
    EXPECT_EQ(back.Count(), 2u);
    ASSERT_NE(back.Find(odd), nullptr);
    EXPECT_EQ(*back.Find(odd), Value(-20.25));
    ASSERT_NE(back.Find({"/music/silent.wav", 10, 7}), nullptr);
    EXPECT_EQ(back.Find({"/music/silent.wav", 10, 7})->Integrated, -HUGE_VAL);
    // The same path with another size or time is another file.
    EXPECT_EQ(back.Find({odd.Path, 1235, -5}), nullptr);
    EXPECT_EQ(back.Find({odd.Path, 1234, 0}), nullptr);
    // What another process saved meanwhile is kept by the next save.
    TLoudnessCache other;
    other.Put({"/music/other.ogg", 1, 1}, Value(-9));
    ASSERT_TRUE(other.Save(File));
    back.Put({"/music/mine.ogg", 1, 1}, Value(-8));
    ASSERT_TRUE(back.Save(File));
    TLoudnessCache merged;
    merged.Load(File);
    EXPECT_EQ(merged.Count(), 4u);
}

// Writers in several processes at once (two `loudness --write-cache` runs,
// the player) each keep what the others saved.
TEST_F(LoudnessCacheTest, WritersInSeveralProcessesLoseNothing) {
    constexpr int kWriters = 4, kSaves = 25;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kSaves; ++i) {
                TLoudnessCache mine;
                mine.Put({"/m/" + std::to_string(w) + "-" + std::to_string(i), 1, 1}, Value(-9));
                ok = mine.Save(File) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TLoudnessCache all;
    all.Load(File);
    EXPECT_EQ(all.Count(), size_t{kWriters * kSaves});
}

TEST_F(LoudnessCacheTest, DamageIsSkippedLineByLine) {
    TLoudnessCache good;
    good.Put({"/ok.flac", 5, 6}, Value(-14));
    const std::string text = good.Format();
    const std::string lines[] = {
        "1 5 6 -14 0.5 100:3 ",                // no path
        "1 5 6 nan 0.5 100:3 /nan.flac",       // not a loudness
        "1 5 6 -14 0.5 100:0 /zero.flac",      // an empty step
        "1 5 6 -14 0.5 999:1,1:1 /past.flac",  // past the last step
        "1 5 6 -14 0.5 5:1,0:2 /twice.flac",   // a step twice
        "1 5 6 -14 0.5 5:1 /cut%4",            // a cut escape
        std::string(TLoudnessCache::kMaxLineBytes + 1, '1'),
    };
    std::string damaged = text;
    for (const std::string& l : lines) damaged += l + "\n";
    damaged += "1 7 8 -15 0.5 - /last, no line end.flac";
    TLoudnessCache cache;
    EXPECT_TRUE(cache.Merge(damaged));
    EXPECT_EQ(cache.Count(), 2u);
    EXPECT_NE(cache.Find({"/ok.flac", 5, 6}), nullptr);
    EXPECT_NE(cache.Find({"/last, no line end.flac", 7, 8}), nullptr);
    // Not a cache at all: nothing is taken.
    EXPECT_FALSE(TLoudnessCache().Merge("quillet-loudness 2\n" + text.substr(text.find('\n') + 1)));
    EXPECT_FALSE(TLoudnessCache().Merge(""));
}

TEST_F(LoudnessCacheTest, SizeIsBoundedAndABadFileIsTakenAsEmpty) {
    auto key = [](int i) { return TLoudnessKey{"/m/" + std::to_string(i) + ".flac", 1, 1}; };
    TLoudnessCache probe;
    probe.Put(key(0), Value(-10));
    // Room for three entries: the one used longest ago goes.
    TLoudnessCache cache(3 * probe.Format().size());
    for (int i = 0; i < 3; ++i) cache.Put(key(i), Value(-10));
    ASSERT_NE(cache.Find(key(0)), nullptr);
    cache.Put(key(3), Value(-10));
    EXPECT_EQ(cache.Count(), 3u);
    EXPECT_EQ(cache.Find(key(1)), nullptr);
    EXPECT_NE(cache.Find(key(0)), nullptr);
    EXPECT_LE(cache.Format().size(), 3 * probe.Format().size());

    // Garbage, and a file far larger than the cache may grow: not read, and
    // replaced by the next save.
    std::filesystem::create_directories(Dir() + "/cache/quillet");
    for (const Bytes& content : {NoiseBytes(4000), Bytes(4 * 3 * probe.Format().size() + 1, '1')}) {
        WriteFile(File, content);
        TLoudnessCache bad(3 * probe.Format().size());
        bad.Load(File);
        EXPECT_EQ(bad.Count(), 0u);
        bad.Put(key(7), Value(-7));
        ASSERT_TRUE(bad.Save(File));
        TLoudnessCache back;
        back.Load(File);
        EXPECT_NE(back.Find(key(7)), nullptr);
    }
    // A folder that cannot be made: the save fails, the entries stay.
    WriteFile(Dir() + "/cache/plain", {});
    TLoudnessCache stuck;
    stuck.Put(key(1), Value(-1));
    EXPECT_FALSE(stuck.Save(Dir() + "/cache/plain/loudness.txt"));
    EXPECT_NE(stuck.Find(key(1)), nullptr);
}

}  // namespace
}  // namespace quillet
