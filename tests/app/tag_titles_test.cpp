// Row titles from tags: what each format's tags give, text fit for one line,
// and rows retitled only while they still stand for the file that was read.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "ACS_Tags.h"
#include "app_test_support.h"
#include "decoders/codec_fixture.h"
#include "text.h"
#include "track_tags.h"

namespace quillet::test {
namespace {

// Puts an ID3v2 tag with these names in front of a file.
void PrependId3v2(const std::string& path, const std::u16string& artist,
                  const std::u16string& title) {
    TId3v2Tags tags;
    tags.SetArtist(artist);
    tags.SetTitle(title);
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(tags.WriteToFile(fd, true));
    ::close(fd);
}

// One tagged file of each kind, made once: name -> path.
const std::map<std::string, std::string>& Tagged() {
    static const std::map<std::string, std::string> files = [] {
        const std::string dir = FixtureDir("tag-titles");
        const std::string src = "'" + dir + "/source.wav'";
        EXPECT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + src + " synth 0.3 sine 440"));
        const std::string mp3 = "ffmpeg -v error -y -i " + src + " -c:a libmp3lame -b:a 64k ";
        const std::pair<const char*, std::string> recipes[] = {
            {"id3v2.mp3", mp3 + "-id3v2_version 3 -metadata artist=Ar -metadata title=Ti"},
            {"alone.mp3", mp3 + "-id3v2_version 4 -metadata title=Alone"},
            {"apev2.mp3", mp3 + "-id3v2_version 0"},  // the tag is added below
            {"id3v1.mp3", "lame --quiet --id3v1-only --ta One --tt Vee " + src},
            {"both.mp3", "lame --quiet --id3v1-only --tt Old " + src},
            {"plain.mp3", mp3 + "-id3v2_version 0"},
            {"tags.ogg", "oggenc -Q -a \xC3\x84rtist -t \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D -o"},
            {"tags.flac", "flac -s -f -T ARTIST=Fa -T TITLE=Ft -o"},
            {"tags.wma", "ffmpeg -v error -y -i " + src +
                             " -c:a wmav2 -metadata artist=Wa -metadata title=Wt -f asf"},
            {"tags.mpc", "mpcenc --silent --overwrite --artist Ma --title Mt " + src},
            {"plain.wav", "cp " + src},
            {"long.wav", "cp " + src},
        };
        std::map<std::string, std::string> out;
        for (const auto& [name, recipe] : recipes) {
            const std::string path = dir + "/" + name;
            // Encoders that take the output before the input get it last.
            const bool outFirst = recipe.ends_with(" -o");
            EXPECT_TRUE(Sh(recipe + " '" + path + "'" + (outFirst ? " " + src : ""))) << name;
            out[name] = path;
        }
        PrependId3v2(out["both.mp3"], u"Two", u"Wins");
        EXPECT_TRUE(
            Sh("/usr/bin/python3 -c 'import sys; from mutagen.apev2 import APEv2; "
               "t = APEv2(); t[\"Artist\"] = \"Ap\"; t[\"Title\"] = \"Ev\"; "
               "t.save(sys.argv[1])' '" +
               out["apev2.mp3"] + "'"));
        std::u16string longTitle = u"Line\none\ttwo\r";
        while (longTitle.size() < 10000) longTitle += u"x\u202Ey";
        PrependId3v2(out["long.wav"], u"", longTitle);
        return out;
    }();
    return files;
}

TEST(TagTitles, OneLineAndJoined) {
    const struct {
        std::string in;
        std::string out;
    } lines[] = {
        {"plain", "plain"},
        {"  two\nlines\r\n", "two lines"},
        {"tab\there\x7f"
         "del",
         "tab here del"},
        {"c1\xC2\x85next", "c1 next"},                  // NEL
        {"sep\xE2\x80\xA8par\xE2\x80\xA9", "sep par"},  // U+2028, U+2029
        {"bad\xFF"
         "byte",
         "bad\xEF\xBF\xBD"
         "byte"},                                                                  // U+FFFD
        {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},  // RTL stays
        {std::string("nul\0inside", 10), "nul inside"},
        {"a\xE2\x80\xAE"
         "b\xE2\x81\xA6"
         "c",
         "abc"},  // RLO, LRI
        {"\n\t ", ""},
    };
    for (const auto& c : lines) EXPECT_EQ(OneLine(c.in), c.out) << c.in;

    const struct {
        const char* artist;
        const char* title;
        const char* joined;
    } joins[] = {
        {"Artist", "Title", "Artist - Title"},
        {"", "Title", "Title"},
        {" \n", "Title", "Title"},
        {"Artist", "", ""},
        {"Artist", "\r\n", ""},
    };
    for (const auto& c : joins) EXPECT_EQ(JoinTagTitle(c.artist, c.title), c.joined) << c.joined;
}

TEST(TagTitles, EachFormatsTagsAndNothingElse) {
    const auto& files = Tagged();
    const struct {
        std::string path;
        std::string title;
    } cases[] = {
        {files.at("id3v2.mp3"), "Ar - Ti"},
        {files.at("alone.mp3"), "Alone"},
        {files.at("apev2.mp3"), "Ap - Ev"},
        {files.at("id3v1.mp3"), "One - Vee"},
        {files.at("both.mp3"), "Two - Wins"},  // ID3v2 before ID3v1
        {files.at("plain.mp3"), ""},
        {files.at("tags.ogg"), "\xC3\x84rtist - \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
        {files.at("tags.flac"), "Fa - Ft"},
        {files.at("tags.wma"), "Wa - Wt"},
        {files.at("tags.mpc"), "Ma - Mt"},
        {files.at("plain.wav"), ""},
        {FixtureDir("tag-titles") + "/missing.ogg", ""},
        {FixtureDir("tag-titles"), ""},  // a folder
        {"/dev/null", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadTagTitle(c.path), c.title) << c.path;

    // 10 000 characters with line breaks and overrides: one line, whole.
    const std::string title = ReadTagTitle(files.at("long.wav"));
    EXPECT_TRUE(title.starts_with("Line one two xyxy")) << title.substr(0, 20);
    EXPECT_EQ(title.size(), 13u + 2 * 3329);
    EXPECT_EQ(title.find_first_of("\r\n\t"), std::string::npos);
}

class TagRowsTest : public WindowFixture {
  protected:
    std::string Path(const char* name) { return Tagged().at(name); }
    // Adds a tagged file and waits for its title: everything queued before
    // it has been handled by then.
    void Settle() {
        AddFiles({Path("tags.flac")});
        const int row = Form->Count() - 1;
        ASSERT_TRUE(WaitFor([&] { return Rows()[static_cast<size_t>(row)] == "Fa - Ft"; }));
        Form->SetItemIndex(row);
        Form->sbRemoveFile->click();
    }
};

TEST_F(TagRowsTest, RowsTakeTitlesOnlyWhileTheyStillStandForTheirFile) {
    AddFiles({Path("id3v2.mp3"), Path("plain.wav"), Dir + "missing.ogg"});
    // Listed by file name at once, retitled when read.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"id3v2.mp3", "plain.wav", "missing.ogg"}));
    ASSERT_TRUE(WaitFor([&] { return Rows()[0] == "Ar - Ti"; }));
    Settle();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Ar - Ti", "plain.wav", "missing.ogg"}));
    EXPECT_EQ(Titles(), Rows());

    // Renamed before its title came: the user's name stays.
    Form->PlaylistEntries().Clear();
    AddFiles({Path("id3v1.mp3")});
    Form->SetItemIndex(0);
    Dialogs->Inputs = {std::string("Mine")};
    Form->lbPlaylistKeyPress("e");
    Settle();
    EXPECT_EQ(Rows(), std::vector<std::string>{"Mine"});

    // Removed before its title came: the row now there is not retitled.
    Form->PlaylistEntries().Clear();
    AddFiles({Path("id3v1.mp3"), Path("plain.wav")});
    Form->SetItemIndex(0);
    Form->sbRemoveFile->click();
    Settle();
    EXPECT_EQ(Rows(), std::vector<std::string>{"plain.wav"});

    // Cleared before: nothing comes back. Titles from a playlist stay.
    AddFiles({Path("id3v2.mp3"), Path("tags.ogg")});
    Form->sbNewPlaylist->click();
    Form->PlaylistEntries().Append({{"From the list", Path("id3v2.mp3")}});
    Settle();
    EXPECT_EQ(Rows(), std::vector<std::string>{"From the list"});

    // A very long title with line breaks: one line, cut to 150 characters.
    Form->PlaylistEntries().Clear();
    AddFiles({Path("long.wav")});
    ASSERT_TRUE(WaitFor([&] { return Rows()[0] != "long.wav"; }));
    EXPECT_EQ(Utf8Length(Rows()[0]), 150u);
    EXPECT_EQ(Rows()[0].find('\n'), std::string::npos);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(TagRowsTest, AddAndDropReadTagsToo) {
    Dialogs->SoundFiles = {Path("tags.wma")};
    Form->sbAddFile->click();
    Form->WMDropFiles(
        {QString::fromStdString(Path("tags.mpc")), QString::fromStdString(Path("tags.ogg"))});
    ASSERT_TRUE(WaitFor([&] { return Rows()[2] != "tags.ogg"; }));
    Settle();
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"Wa - Wt", "Ma - Mt",
                                        "\xC3\x84rtist - \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"}));
}

}  // namespace
}  // namespace quillet::test
