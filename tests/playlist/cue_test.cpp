// CUE sheets as entries, text in legacy code pages, and M3U ranges.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "PlayList.h"
#include "cue_entries.h"
#include "playlist_fixture.h"
#include "text_encoding.h"

namespace quillet {
namespace {

using namespace std::string_literals;

constexpr int64_t kFrame = kFlicksPerCueFrame;

class CueSheet : public test::TempFolder {
  protected:
    std::vector<TPlaylistEntry> Open(const std::string& name, const std::string& content,
                                     std::vector<std::string>* problems = nullptr) {
        std::vector<TPlaylistEntry> entries;
        TPlaylistOpen open;
        open.PlayableExtensions = {".flac", ".wv"};
        std::string format;
        EXPECT_TRUE(OpenPlaylistEntries(Write(name, content), entries, &format, &open));
        if (problems) *problems = open.Problems;
        return entries;
    }
    std::string Touch(const std::string& name) { return Write(name, "x"); }
};

// Several FILEs, pregaps in INDEX 00 on either side of a FILE line, a data
// track, quoted and bare values, album fields and gains from REM lines.
TEST_F(CueSheet, TracksTileEachFileAndCarryTheSheetsTags) {
    const std::string a = Touch("a.wav"), b = Touch("b b.wav");
    std::vector<std::string> problems;
    const auto entries = Open("album.cue",
                              "REM GENRE \"Art Rock\"\r\n"
                              "REM DATE 1999\r\n"
                              "REM DISCNUMBER 2\r\n"
                              "REM REPLAYGAIN_ALBUM_GAIN -7.25 dB\r\n"
                              "REM REPLAYGAIN_ALBUM_PEAK 0.9\r\n"
                              "PERFORMER \"The Band\"\r\n"
                              "TITLE An Album\r\n"
                              "FILE \"a.wav\" WAVE\r\n"
                              "  TRACK 01 AUDIO\r\n"
                              "    TITLE \"One\"\r\n"
                              "    REM REPLAYGAIN_TRACK_GAIN +1.5 dB\r\n"
                              "    INDEX 01 00:00:00\r\n"
                              "  track 02 audio\r\n"
                              "    title Two, bare\r\n"
                              "    performer Guest\r\n"
                              "    index 00 00:03:37\r\n"
                              "    index 01 00:04:11\r\n"
                              "  TRACK 03 AUDIO\r\n"
                              "    INDEX 00 01:00:00\r\n"  // its pregap ends a.wav
                              "FILE b b.wav WAVE\r\n"
                              "    PREGAP 00:02:00\r\n"
                              "    INDEX 01 00:00:00\r\n"
                              "  TRACK 04 MODE1/2352\r\n"
                              "    INDEX 01 00:30:00\r\n"
                              "  TRACK 05 AUDIO\r\n"
                              "    POSTGAP 00:01:74\r\n"
                              "    INDEX 01 00:40:00\r\n",
                              &problems);
    EXPECT_TRUE(problems.empty()) << problems[0];
    ASSERT_EQ(entries.size(), 4u);
    const TTimeRange ranges[] = {{0, 311 * kFrame},
                                 {311 * kFrame, -1},
                                 {0, 30 * 75 * kFrame},  // up to the data track
                                 {40 * 75 * kFrame, -1}};
    const std::string files[] = {a, a, b, b};
    const std::string titles[] = {"The Band - One", "Guest - Two, bare", "The Band - Track 03",
                                  "The Band - Track 05"};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].Range, ranges[i]);
        EXPECT_EQ(entries[i].FilePath, files[i]);
        EXPECT_EQ(entries[i].Title, titles[i]);
        EXPECT_EQ(entries[i].Tags->Album, "An Album");
        EXPECT_EQ(entries[i].Tags->Genre, "Art Rock");
        EXPECT_EQ(entries[i].Tags->Date, "1999");
        EXPECT_EQ(entries[i].Tags->DiscNumber, "2");
        ASSERT_TRUE(entries[i].Tags->Gain.Album);
        EXPECT_EQ(entries[i].Tags->Gain.Album->GainDb, -7.25);
    }
    EXPECT_EQ(entries[0].Tags->Track, 1);
    ASSERT_TRUE(entries[0].Tags->Gain.Track);
    EXPECT_EQ(entries[0].Tags->Gain.Track->GainDb, 1.5);
    EXPECT_FALSE(entries[1].Tags->Gain.Track);
    EXPECT_EQ(entries[2].Tags->Pregap, 150 * kFrame);
    EXPECT_EQ(entries[3].Tags->Postgap, 149 * kFrame);

    // The design's lists get each track's title and its FILE as written.
    std::vector<std::string> titlesRead, paths;
    ASSERT_TRUE(ReadPlaylist(PathOf("album.cue"), titlesRead, paths));
    EXPECT_EQ(paths, (std::vector<std::string>{"a.wav", "a.wav", "b b.wav", "b b.wav"}));
}

// A FILE naming a missing file finds the same base name under a playable
// extension, also when the sheet names a folder of another machine; the
// WAVE word does not matter.
TEST_F(CueSheet, MissingFileFoundUnderAnotherPlayableExtension) {
    const std::string flac = Touch("Album.flac");
    Touch("Album.log");
    std::string path;
    EXPECT_EQ(ResolveSheetFile(PathOf("s.cue"), "Album.wav", {".flac"}, path), "");
    EXPECT_EQ(path, flac);
    EXPECT_EQ(ResolveSheetFile(PathOf("s.cue"), "C:\\Rips\\Album.wav", {".flac"}, path), "");
    EXPECT_EQ(path, flac);
    // Nothing playable: kept as named, as playlists keep missing files.
    EXPECT_EQ(ResolveSheetFile(PathOf("s.cue"), "Other.wav", {".flac"}, path), "");
    EXPECT_EQ(path, PathOf("Other.wav"));
}

// Each bad sheet or track gives a reason, never a track outside its file.
TEST_F(CueSheet, BadInputGivesAReasonPerTrack) {
    Touch("a.wav");
    std::filesystem::create_directory(Dir / "folder");
    ASSERT_EQ(::mkfifo(PathOf("fifo").c_str(), 0600), 0);
    std::vector<std::string> problems;
    EXPECT_TRUE(Open("empty.cue", "REM nothing here\n", &problems).empty());
    EXPECT_EQ(problems, std::vector<std::string>{"the sheet has no tracks"});

    auto one = [&](const std::string& file, const std::string& index) {
        std::vector<std::string> p;
        const auto entries = Open("bad.cue",
                                  "FILE \"" + file +
                                      "\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                      " TRACK 02 AUDIO\n  INDEX 01 " +
                                      index + "\n",
                                  &p);
        std::string all = std::to_string(entries.size());
        for (const auto& line : p) all += "|" + line;
        return all;
    };
    EXPECT_EQ(one("a.wav", "00:00:75"), "1|track 2: bad INDEX time");
    EXPECT_EQ(one("a.wav", "00:00:00"),
              "1|track 2: INDEX 01 does not come after the previous track's");
    EXPECT_EQ(one("folder", "00:01:00"),
              "0|track 1: FILE names a folder|track 2: FILE names a folder");
    EXPECT_EQ(one("fifo", "00:01:00"),
              "0|track 1: FILE names a FIFO, device or socket, not a file|"
              "track 2: FILE names a FIFO, device or socket, not a file");
    EXPECT_EQ(one("/dev/null", "00:01:00").substr(0, 2), "0|");
    EXPECT_EQ(one("bad.cue", "00:01:00"),
              "0|track 1: FILE names the sheet itself|"
              "track 2: FILE names the sheet itself");
    EXPECT_EQ(one("http://example.invalid/a.wav", "00:01:00").substr(0, 38),
              "0|track 1: FILE names a URL, not a loc");
    EXPECT_EQ(one(std::string("a.wav\0../etc", 12), "00:01:00").substr(0, 42),
              "0|track 1: FILE name holds a NUL byte|trac");

    // INDEX 01 before INDEX 00, a track without INDEX 01, a bad track number.
    const auto entries =
        Open("order.cue",
             "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 00 00:05:00\nINDEX 01 "
             "00:04:00\nTRACK 02 AUDIO\nTITLE x\nTRACK x3 AUDIO\nINDEX 01 00:09:00\n",
             &problems);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(problems,
              (std::vector<std::string>{"track 1: INDEX 01 comes before INDEX 00",
                                        "track 2: no INDEX 01", "track 0: bad track number"}));

    // 10 000 tracks read in linear time; the next one is refused; a 1 MB
    // TITLE and NUL bytes are cut and dropped.
    std::string big = "TITLE \"" + std::string(1 << 20, 'T') + "\"\nFILE a.wav WAVE\n";
    for (int i = 0; i <= 10000; ++i) {
        const int f = i + 1;
        big += " TRACK " + std::to_string(f % 100) + " AUDIO\n  TITLE \"t\0t\"\n  INDEX 01 "s +
               std::to_string(f / 4500) + ":" + std::to_string(f / 75 % 60 + 100).substr(1) + ":" +
               std::to_string(f % 75 + 100).substr(1) + "\n";
    }
    const auto start = std::chrono::steady_clock::now();
    const auto many = Open("many.cue", big, &problems);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ASSERT_EQ(many.size(), kMaxCueTracks) << problems[0];
    EXPECT_EQ(problems, std::vector<std::string>{
                            "more than 10000 tracks: the rest of the sheet is not read"});
    EXPECT_EQ(many[5].Tags->Album.size(), kMaxCueValueBytes);
    EXPECT_EQ(many[5].Tags->Title, "tt");
    for (size_t i = 0; i + 1 < many.size(); ++i)
        ASSERT_EQ(many[i].Range.End, many[i + 1].Range.Start);
}

// Sheets and the design's playlists declare no encoding: UTF-8 with or
// without its mark is read as such, Windows code pages are recognised.
TEST_F(CueSheet, LegacyCodePagesAreRecognised) {
    const std::string russian = "Группа крови на рукаве, мой порядковый номер на рукаве";
    const std::string french = "«Déjà vu» – où était l’été? Noël à la crème brûlée";
    struct Case {
        const char* name;
        std::string bytes;  // the titles as the file holds them
        std::string title;
        bool bom = false;
    };
    const Case cases[] = {
        // CP1251
        {"cp1251.cue",
         "\xc3\xf0\xf3\xef\xef\xe0 \xea\xf0\xee\xe2\xe8 \xed\xe0 \xf0\xf3\xea\xe0\xe2\xe5, "
         "\xec\xee\xe9 \xef\xee\xf0\xff\xe4\xea\xee\xe2\xfb\xe9 \xed\xee\xec\xe5\xf0 \xed\xe0 "
         "\xf0\xf3\xea\xe0\xe2\xe5",
         russian},
        // CP1252, with characters ISO-8859-1 lacks (curly quote, en dash)
        {"cp1252.cue",
         "\xab\x44\xe9j\xe0 vu\xbb \x96 o\xf9 \xe9tait l\x92\xe9t\xe9? No\xebl \xe0 la cr\xe8me "
         "br\xfbl\xe9\x65",
         french},
        {"utf8.cue", russian, russian},
        {"bom.cue", french, french, true},
    };
    Touch("a.wav");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entries = Open(c.name, (c.bom ? "\xEF\xBB\xBF" : "") + "TITLE \""s + c.bytes +
                                              "\"\nFILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE \"" +
                                              c.bytes + "\"\nINDEX 01 00:00:00\n");
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].Tags->Title, c.title);
        EXPECT_EQ(entries[0].Tags->Album, c.title);
    }
    // The folder as the judge: names the guess reads wrong (a CP1252 letter
    // taken for another Latin page; GB18030 given another guess or none)
    // exist under another likely reading, which then holds for the whole
    // sheet, titles included.
    for (const auto& [name, bytes] :
         {std::pair<std::string, std::string>{"Se\u00f1or", "Se\xf1or"},
          {"\u4e2d\u6587\u6b4c\u66f2", "\xd6\xd0\xce\xc4\xb8\xe8\xc7\xfa"},
          {"\u5468\u6770\u4f26 - \u6674\u5929", "\xd6\xdc\xbd\xdc\xc2\xd7 - \xc7\xe7\xcc\xec"}}) {
        SCOPED_TRACE(name);
        Touch(name + ".wav");
        const auto entries =
            Open("judged.cue", "TITLE \"" + bytes + "\"\nFILE \"" + bytes +
                                   ".wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].FilePath, PathOf(name + ".wav"));
        EXPECT_EQ(entries[0].Tags->Album, name);
    }

    // An M3U in CP1251 gives its titles; a path whose converted name is
    // missing but whose own bytes name a file keeps those bytes.
    const std::string rawName = "\xf0\xf3\xea\xe0\xe2.mp3";  // "рукав" in CP1251
    Touch(rawName);
    std::vector<TPlaylistEntry> entries;
    ASSERT_TRUE(OpenPlaylistEntries(
        Write("list.m3u",
              "#EXTINF:1," + cases[0].bytes + "\r\n" + rawName + "\r\n#EXTINF:1,x\r\nnew.mp3\r\n"),
        entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Title, CutTitle(russian));
    EXPECT_EQ(entries[0].FilePath, PathOf(rawName));
    EXPECT_EQ(entries[1].FilePath, PathOf("new.mp3"));
    // A UTF-8 mark before "#EXTM3U" is no entry.
    ASSERT_TRUE(OpenPlaylistEntries(
        Write("bom.m3u", "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,t\r\na.mp3\r\n"), entries));
    EXPECT_EQ(entries.size(), 1u);
    // Undecodable bytes stay as they were: the 8-bit reading.
    EXPECT_EQ(DecodeUndeclaredText("\xff\xfe\xff"), "\xff\xfe\xff");
    EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));  // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));      // overlong
    EXPECT_TRUE(IsValidUtf8("\xf4\x8f\xbf\xbf"));
}

// A list of CUE tracks saved as M3U reads back with the same ranges, to the
// flick, also at times no decimal of milliseconds gives; other players'
// whole-second options read too.
TEST_F(CueSheet, M3uKeepsRangesThroughSaving) {
    std::vector<TPlaylistEntry> saved(3);
    saved[0].Title = "One";
    saved[0].FilePath = PathOf("img.flac");
    saved[0].Range = {0, 311 * kFrame};
    saved[1].Title = "Two";
    saved[1].FilePath = PathOf("img.flac");
    saved[1].Range = {(3600 * 75 + 311) * kFrame + kFlicksPerSecond / 44100 * 7, -1};
    saved[2].Title = "Whole";
    saved[2].FilePath = PathOf("other.mp3");
    const std::string target = SavePlaylist(PathOf("list"), TPlaylistSaveFormat::M3U, saved);
    EXPECT_NE(Slurp(target).find("#EXTVLCOPT:start-time=0.000000000\r\n"
                                 "#EXTVLCOPT:stop-time=4.146666667\r\n#EXTINF:60,One"),
              std::string::npos)
        << Slurp(target);
    std::vector<TPlaylistEntry> back;
    ASSERT_TRUE(OpenPlaylistEntries(target, back));
    EXPECT_EQ(back, saved);

    ASSERT_TRUE(OpenPlaylistEntries(Write("vlc.m3u",
                                          "#EXTM3U\n#EXTINF:0,a\n#EXTVLCOPT:start-time=10\n"
                                          "#EXTVLCOPT:stop-time=12.5\na.mp3\n"
                                          "#EXTVLCOPT:stop-time=1\n#EXTVLCOPT:start-time=2\n"
                                          "b.mp3\n"),
                                    back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Range, (TTimeRange{10 * kFlicksPerSecond, 25 * kFlicksPerSecond / 2}));
    EXPECT_TRUE(back[1].Range.Whole());  // a stop before the start: the whole file
}

// Adding a folder: a sheet's tracks stand where the image it plays would,
// the image is not added again, and of two sheets for one image (X.cue,
// X.flac.cue) the first in name order counts.
TEST_F(CueSheet, FolderSheetsTakeThePlaceOfTheirImages) {
    auto sheetFor = [&](const std::string& file) {
        return "FILE \"" + file +
               "\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 "
               "AUDIO\nINDEX 01 00:01:00\n";
    };
    Touch("X.flac");
    Touch("Y.wv");
    Touch("Z.mp3");
    Write("X.cue", sheetFor("X.wav"));  // found as X.flac
    Write("X.flac.cue", sheetFor("X.flac"));
    Write("Y.wv.cue", sheetFor("Y.wv"));
    Write("gone.cue", sheetFor("gone.wav"));
    const std::vector<std::string> names{"X.cue",    "X.flac", "X.flac.cue", "Y.wv",
                                         "Y.wv.cue", "Z.mp3",  "gone.cue"};
    std::set<std::string> covered;
    const auto sheets = FolderSheets(Dir.string(), names, {".flac", ".wv"}, covered);
    EXPECT_EQ(covered, (std::set<std::string>{"X.flac", "Y.wv"}));
    ASSERT_EQ(sheets.size(), 2u);
    ASSERT_EQ(sheets.at("X.flac").size(), 2u);
    EXPECT_EQ(sheets.at("X.flac")[1].FilePath, PathOf("X.flac"));
    EXPECT_EQ(sheets.at("X.flac")[1].Range.Start, 75 * kFrame);
    EXPECT_EQ(sheets.at("Y.wv").size(), 2u);
}

}  // namespace
}  // namespace quillet
