// The sound stage's settings file and where a crossfade may go.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dsp_settings.h"
#include "join_rule.h"
#include "playlist_model.h"

using namespace quillet;

namespace {

std::string Folder(const std::string& name) {
    const char* tmp = std::getenv("QUILLET_TEST_TMP");
    const std::string dir = std::string(tmp ? tmp : "/tmp") + "/" + name + "/";
    std::filesystem::remove_all(dir);
    return dir;
}

// Everything comes back as it was written; the user's presets keep their
// order and a name's second save replaces the first; names the file could
// not hold, or a built-in's, are refused.
TEST(DspSettings, KeptAndReadBack) {
    const std::string dir = Folder("dsp-kept");
    TDspSettings s;
    s.Eq = {true, -2.5, {1, 2, 3, 4, 5, 6, 7, 8, 9, -12}};
    s.Preset = "Mine";
    s.Crossfade = {.Seconds = 5, .Fades = false, .FadeMs = 80};
    EXPECT_TRUE(KeepPreset(s, {"Mine", 1, {12, 0, 0, 0, 0, 0, 0, 0, 0, 0.5}}));
    EXPECT_TRUE(KeepPreset(s, {"Other one", 0, {}}));
    EXPECT_TRUE(KeepPreset(s, {"mine", -1, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));  // replaces
    for (const char* bad :
         {"", " padded", "a=b", "[x]", "semi;colon", "two\nlines", "Rock", "bass-boost"})
        EXPECT_FALSE(KeepPreset(s, {bad, 0, {}})) << bad;
    ASSERT_EQ(s.Presets.size(), 2u);
    SaveDspSettings(dir, s);
    EXPECT_EQ(LoadDspSettings(dir), s);
    EXPECT_TRUE(DropPreset(s, "MINE"));
    EXPECT_FALSE(DropPreset(s, "Rock"));
    SaveDspSettings(dir, s);
    EXPECT_EQ(LoadDspSettings(dir).Presets, s.Presets);
}

// A file edited by hand: values out of range are brought in, malformed
// ones give the defaults, and nothing raises.
TEST(DspSettings, AHandEditedFileGivesSaneValues) {
    const std::string dir = Folder("dsp-odd");
    std::filesystem::create_directories(dir);
    std::ofstream(dir + kDspFileName)
        << "[equalizer]\nOn=1\nPreamp=40\nGains=1,2,3\n"
        << "[crossfade]\nSeconds=99\nFadeMs=-5\nFades=x\n"
        << "[presets]\nGood=1,1,1,1,1,1,1,1,1,1;-3\n"
        << "Loud=99,0,0,0,0,0,0,0,0,0\nBad=1,2\nRock=0,0,0,0,0,0,0,0,0,0\n";
    const TDspSettings s = LoadDspSettings(dir);
    EXPECT_TRUE(s.Eq.On);
    EXPECT_EQ(s.Eq.PreampDb, kEqMaxDb);
    EXPECT_EQ(s.Eq.Gains, (std::array<double, kEqBands>{}));
    EXPECT_EQ(s.Crossfade.Seconds, kMaxCrossfadeSeconds);
    EXPECT_EQ(s.Crossfade.FadeMs, kDefaultFadeMs);
    EXPECT_TRUE(s.Crossfade.Fades);
    ASSERT_EQ(s.Presets.size(), 1u);
    EXPECT_EQ(s.Presets[0].Name, "Good");
    EXPECT_EQ(s.Presets[0].PreampDb, -3);
    EXPECT_EQ(LoadDspSettings(Folder("dsp-none")), TDspSettings{});
}

// An album in order and the next part of one image run on; a change of
// album, a jump, or parts of one image out of order may crossfade.
TEST(JoinRule, OnlyWhatRunsOnJoinsWithoutACrossfade) {
    TPlaylistModel list;
    auto item = [](const std::string& path, int64_t start = 0, int64_t end = -1) {
        TPlaylistEntry e;
        e.Title = e.FilePath = path;
        e.Range = {start, end};
        return e;
    };
    list.Append({item("/a1.flac"), item("/a2.flac"), item("/b1.flac"), item("/img.flac", 0, 100),
                 item("/img.flac", 100, 200), item("/img.flac", 200, -1)});
    const char* albums[] = {"A", " a", "B", "", "", ""};
    for (size_t i = 0; i < list.size(); ++i) {
        TEntryInfo info;
        info.Tags.Album = albums[i];
        list.SetInfo(list[i].Id, info);
    }
    EXPECT_TRUE(GaplessJoin(list, 0, 1));   // one album, in order
    EXPECT_FALSE(GaplessJoin(list, 1, 0));  // backwards (shuffle, previous)
    EXPECT_FALSE(GaplessJoin(list, 1, 2));  // another album
    EXPECT_FALSE(GaplessJoin(list, 0, 2));  // a jump
    EXPECT_TRUE(GaplessJoin(list, 3, 4));   // the image's next track
    EXPECT_TRUE(GaplessJoin(list, 4, 5));
    EXPECT_FALSE(GaplessJoin(list, 3, 5));
    EXPECT_FALSE(GaplessJoin(list, 2, 3));
    EXPECT_FALSE(GaplessJoin(list, -1, 0));
}

}  // namespace
