// The loudness-correction fields: the one value parser, the rules for several
// items, and the Vorbis comment and APEv2 walks handing their items over.
#include <gtest/gtest.h>

#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "replay_gain.h"
#include "tag_test_util.h"

namespace quillet {
namespace {

using test::ApeTag;
using test::Append;
using test::Bytes;

TEST(ReplayGainValues, OnlyPlainNumbersAreTakenAndGainsAreClamped) {
    struct Case {
        std::string text;
        std::optional<double> gain, peak, r128;
    };
    const std::optional<double> none;
    for (const Case& c : std::vector<Case>{
             {"-6.02 dB", -6.02, none, none},
             {"+3.50 dB", 3.5, none, none},
             {"  -1.5dB ", -1.5, none, none},
             {"2.25 DB", 2.25, none, none},
             {"0.988547", 0.988547, 0.988547, none},
             {".5", 0.5, 0.5, none},
             {"1.000000", 1, 1, none},
             {"-512", -24, none, 3},
             {"+60 dB", 24, none, none},
             {"-99.5 dB", -24, none, none},
             {"32767", 24, none, 24},
             {"32768", 24, none, none},
             {"12", 12, none, 12 / 256.0 + 5},
             {"", none, none, none},
             {"dB", none, none, none},
             {"+abc dB", none, none, none},
             {"1e999", none, none, none},
             {"1e2", none, none, none},
             {"inf", none, none, none},
             {"nan", none, none, none},
             {"0x10", none, none, none},
             {"+-3 dB", none, none, none},
             {"3 dB dB", none, none, none},
             {"-3,5 dB", none, none, none},
             {"0", 0, none, 5},
             {"10.5", 10.5, none, none},
             {std::string(400, '9'), none, none, none},
         }) {
        EXPECT_EQ(ParseGainDb(c.text), c.gain) << '"' << c.text << '"';
        EXPECT_EQ(ParsePeak(c.text), c.peak) << '"' << c.text << '"';
        EXPECT_EQ(ParseR128Gain(c.text), c.r128) << '"' << c.text << '"';
    }
}

TEST(ReplayGainFields, FirstValidItemWinsAndReplayGainBeatsR128) {
    TReplayGainFields f;
    EXPECT_FALSE(f.Take("TITLE", "-3 dB"));
    EXPECT_TRUE(f.Take("replaygain_track_gain", "garbage"));  // a gain key, no gain
    EXPECT_TRUE(f.Take("REPLAYGAIN_TRACK_GAIN", "-3.00 dB"));
    EXPECT_TRUE(f.Take("REPLAYGAIN_TRACK_GAIN", "-9.00 dB"));
    EXPECT_TRUE(f.Take("R128_TRACK_GAIN", "256"));
    EXPECT_TRUE(f.Take("REPLAYGAIN_TRACK_PEAK", "0.5"));
    EXPECT_TRUE(f.Take("R128_ALBUM_GAIN", "-256"));
    EXPECT_TRUE(f.Take("REPLAYGAIN_ALBUM_PEAK", "0.25"));
    EXPECT_EQ(f.Result(), (TReplayGain{TGainInfo{-3, 0.5}, TGainInfo{4, 0.25}}));

    TReplayGainFields peakOnly;
    peakOnly.Take("REPLAYGAIN_TRACK_PEAK", "0.5");
    EXPECT_EQ(peakOnly.Result(), TReplayGain{}) << "a peak is nothing without its gain";
}

TEST(ReplayGainFields, VorbisCommentsAndApeItemsCarryThem) {
    EXPECT_EQ(ReplayGainFromComments({"TITLE=x", "replaygain_album_gain=+1.25 dB",
                                      "REPLAYGAIN_ALBUM_PEAK=0.75", "=", "no equals sign",
                                      "REPLAYGAIN_TRACK_GAIN=", "R128_TRACK_GAIN=-1280"}),
              (TReplayGain{TGainInfo{0, 0}, TGainInfo{1.25, 0.75}}));

    Bytes file = test::Audio(64);
    Append(file, ApeTag({{"Title", "t"},
                         {"REPLAYGAIN_TRACK_GAIN", "-7.5 dB"},
                         {"Replaygain_Track_Peak", "0.9"},
                         {"REPLAYGAIN_ALBUM_GAIN", "-8 dB", 2},  // binary: not text
                         {"Artist", "a"}}));
    TMemoryStream s(file.data(), file.size());
    TAPEv2Tags tags;
    TReplayGainFields gain;
    ReadAPEv2Tag(s, tags, &gain);
    EXPECT_EQ(gain.Result(), (TReplayGain{TGainInfo{-7.5, 0.9}, {}}));
    EXPECT_EQ(tags.Title(), u"t");
    EXPECT_EQ(tags.Artist(), u"a") << "the walk goes on past the gain items";
}

}  // namespace
}  // namespace quillet
