// Tags written by other taggers (mutagen, mid3v2, ffmpeg) read correctly, and
// tags we write read back correctly with mutagen, the audio untouched.
#include <gtest/gtest.h>

#include <sstream>

#include "ACS_Tags.h"
#include "tag_test_util.h"
#include "text.h"

namespace quillet {
namespace {

using test::Append;
using test::Bytes;
using test::Fd;
using test::Shell;

const char* const kPython = "/usr/bin/python3";

bool HaveMutagen() {
    int status = 1;
    Shell(std::string(kPython) + " -c 'import mutagen' 2>/dev/null", &status);
    return status == 0;
}

#define REQUIRE_TOOLS(...)                                                           \
    for (const char* tool : {__VA_ARGS__})                                           \
        if (std::string(tool) == "mutagen" ? !HaveMutagen() : !test::HaveTool(tool)) \
            GTEST_SKIP() << tool << " is not installed";

std::string Q(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

// A short MP3 with no tags at all.
std::filesystem::path MakeMp3(const std::filesystem::path& dir) {
    auto p = dir / "plain.mp3";
    int status = 1;
    Shell(
        "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=0.2 -c:a libmp3lame "
        "-b:a 64k -id3v2_version 0 -write_xing 0 -map_metadata -1 " +
            Q(p) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0);
    return p;
}

// Runs a Python snippet with `path` bound to the file; returns its output.
std::string Py(const std::string& code, const std::filesystem::path& file) {
    auto script = file.parent_path() / "script.py";
    std::ofstream(script) << "import sys\npath = sys.argv[1]\n" << code << "\n";
    int status = 1;
    std::string out =
        Shell(std::string(kPython) + " " + Q(script) + " " + Q(file) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

void ReadV2(const std::filesystem::path& p, TId3v2Tags& t) {
    Fd fd(p, O_RDONLY);
    EXPECT_TRUE(t.ReadFromFile(fd));
}

const std::u16string kUnicode = u"\u00dcn\u00efc\u00f8d\u00e9 \u2603 \u041c\u0443\u0437";

TEST(Interop, Mid3v2Version24) {
    REQUIRE_TOOLS("ffmpeg", "mid3v2");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    // A title over 127 bytes, so 2.4's synchsafe frame sizes matter.
    const std::string longTitle = Utf16ToUtf8(kUnicode) + std::string(150, '.');
    int status = 1;
    Shell("mid3v2 -t '" + longTitle + "' -a 'Art\xc3\xafst' -A 'Caf\xc3\xa9' -T 3/12 -g Rock " +
              Q(mp3),
          &status);
    ASSERT_EQ(status, 0);
    TId3v2Tags t;
    ReadV2(mp3, t);
    EXPECT_TRUE(t.LongIds());
    EXPECT_EQ(Utf16ToUtf8(t.Title()), longTitle);
    EXPECT_EQ(t.Artist(), u"Art\u00efst");
    EXPECT_EQ(t.Album(), u"Caf\u00e9");
    EXPECT_EQ(t.Track(), "3/12");
    EXPECT_EQ(t.Genre(), u"Rock");
}

// A well-known writer put plain 32-bit frame sizes in ID3v2.4 tags for years.
// Read as synchsafe, a title of 128 UTF-16BE characters (259 bytes, read as
// 131) ends on one of its own zero bytes, which looks like padding.
TEST(Interop, Id3v24WithPlainFrameSizes) {
    REQUIRE_TOOLS("ffmpeg", "mutagen");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    const std::string title(128, 'T');
    Py("from mutagen.id3 import ID3, TIT2, TPE1, TALB, COMM, Encoding\n"
       "import struct\n"
       "t = ID3()\n"
       "t.add(TIT2(encoding=Encoding.UTF16BE, text='" + title + "'))\n"
       "t.add(TPE1(encoding=Encoding.UTF16, text='\\u00c4rtist'))\n"
       "t.add(TALB(encoding=Encoding.LATIN1, text='Album'))\n"
       "t.add(COMM(encoding=Encoding.UTF16BE, lang='eng', desc='', text='c' * 300))\n"
       "t.save(path, v2_version=4, padding=lambda info: 64)\n"
       "d = bytearray(open(path, 'rb').read())\n"
       "ss = lambda b: b[0] << 21 | b[1] << 14 | b[2] << 7 | b[3]\n"
       "end, pos = 10 + ss(d[6:10]), 10\n"
       "while pos < end and d[pos] != 0:\n"
       "    size = ss(d[pos + 4:pos + 8])\n"
       "    d[pos + 4:pos + 8] = struct.pack('>I', size)\n"
       "    pos += 10 + size\n"
       "open(path, 'wb').write(d)\n",
       mp3);
    TId3v2Tags t;
    ReadV2(mp3, t);
    EXPECT_EQ(Utf16ToUtf8(t.Title()), title);
    EXPECT_EQ(t.Artist(), u"\u00c4rtist");
    EXPECT_EQ(t.Album(), u"Album");

    // The same tag with synchsafe sizes, as the standard has them, reads the same.
    auto safe = MakeMp3(dir);
    Py("from mutagen.id3 import ID3, TIT2, TPE1, TALB, COMM, Encoding\n"
       "t = ID3()\n"
       "t.add(TIT2(encoding=Encoding.UTF16BE, text='" + title + "'))\n"
       "t.add(TPE1(encoding=Encoding.UTF16, text='\\u00c4rtist'))\n"
       "t.add(TALB(encoding=Encoding.LATIN1, text='Album'))\n"
       "t.add(COMM(encoding=Encoding.UTF16BE, lang='eng', desc='', text='c' * 300))\n"
       "t.save(path, v2_version=4, padding=lambda info: 64)\n",
       safe);
    TId3v2Tags s;
    ReadV2(safe, s);
    EXPECT_EQ(Utf16ToUtf8(s.Title()), title);
    EXPECT_EQ(s.Artist(), u"\u00c4rtist");
    EXPECT_EQ(s.Album(), u"Album");
}

TEST(Interop, MutagenVersion23AndId3v1) {
    REQUIRE_TOOLS("ffmpeg", "mutagen");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    Py("from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TCON, TYER, TCOP, WXXX\n"
       "t = ID3()\n"
       "t.add(TIT2(encoding=1, text='" +
           Utf16ToUtf8(kUnicode) +
           "'))\n"
           "t.add(TPE1(encoding=0, text='Caf\xc3\xa9'))\n"
           "t.add(TALB(encoding=3, text='Album'))\n"
           "t.add(TRCK(encoding=0, text='7'))\n"
           "t.add(TCON(encoding=0, text='Jazz'))\n"
           "t.add(TYER(encoding=0, text='1999'))\n"
           "t.add(TCOP(encoding=1, text='(c) me'))\n"
           "t.add(WXXX(encoding=0, desc='home', url='http://example.org/'))\n"
           "t.save(path, v2_version=3, v1=2)\n",
       mp3);
    TId3v2Tags t;
    ReadV2(mp3, t);
    EXPECT_EQ(t.Title(), kUnicode);  // UTF-16 with a byte-order mark
    EXPECT_EQ(t.Artist(), u"Caf\u00e9");
    EXPECT_EQ(t.Album(), u"Album");
    EXPECT_EQ(t.Track(), "7");
    EXPECT_EQ(t.Genre(), u"Jazz");
    EXPECT_EQ(t.Year(), "1999");
    EXPECT_EQ(t.Copyright(), u"(c) me");
    EXPECT_EQ(t.Link(), u"home");

    Fd fd(mp3, O_RDONLY);
    TId3v1Tags v1;
    ASSERT_TRUE(v1.ReadFromFile(fd));
    EXPECT_EQ(v1.Artist(), "Caf\xc3\xa9");
    EXPECT_EQ(v1.Album(), "Album");
    EXPECT_EQ(v1.Year(), 1999);
    EXPECT_EQ(v1.Track(), 7);
    EXPECT_EQ(v1.Genre(), "Jazz");
}

TEST(Interop, MutagenAPEv2) {
    REQUIRE_TOOLS("ffmpeg", "mutagen");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    Py("from mutagen.apev2 import APEv2, APEValue, BINARY\n"
       "a = APEv2()\n"
       "a['Title'] = '" +
           Utf16ToUtf8(kUnicode) +
           "'\n"
           "a['Artist'] = 'Someone'\n"
           "a['Cover Art (Front)'] = APEValue(b'x.jpg\\x00\\xff\\xd8', BINARY)\n"
           "a['Album'] = 'Al'\n"
           "a['Year'] = '2004'\n"
           "a['Track'] = '5/9'\n"
           "a['Genre'] = '\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0'\n"
           "a['Copyright'] = 'C'\n"
           "a.save(path)\n",
       mp3);
    TAuFileStream s(Utf8ToUtf16(mp3.string()), fmOpenRead);
    TAPEv2Tags t;
    ReadAPEv2Tag(s, t);
    EXPECT_EQ(t.Title(), kUnicode);
    EXPECT_EQ(t.Artist(), u"Someone");
    EXPECT_EQ(t.Album(), u"Al");
    EXPECT_EQ(t.Year(), "2004");
    EXPECT_EQ(t.GetAsInteger("Year"), 2004);
    EXPECT_EQ(t.Track(), "5/9");
    EXPECT_EQ(t.Genre(), u"\u041c\u0443\u0437\u044b\u043a\u0430");
    EXPECT_EQ(t.Copyright(), u"C");
}

TEST(Interop, FfmpegMetadata) {
    REQUIRE_TOOLS("ffmpeg");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    const std::string title = Utf16ToUtf8(kUnicode);
    for (int version : {3, 4}) {
        auto out = dir / ("v" + std::to_string(version) + ".mp3");
        int status = 1;
        Shell("ffmpeg -v error -y -i " + Q(mp3) + " -c copy -metadata 'title=" + title +
                  "' -metadata artist=Plain -metadata album='Caf\xc3\xa9' -metadata date=2004 "
                  "-metadata track=5 -metadata genre=Jazz -write_id3v1 1 -id3v2_version " +
                  std::to_string(version) + " " + Q(out) + " 2>&1",
              &status);
        ASSERT_EQ(status, 0);
        TId3v2Tags t;
        ReadV2(out, t);
        EXPECT_EQ(t.Title(), kUnicode) << version;
        EXPECT_EQ(t.Artist(), u"Plain") << version;
        EXPECT_EQ(t.Album(), u"Caf\u00e9") << version;
        EXPECT_EQ(t.Track(), "5") << version;
        EXPECT_EQ(t.Genre(), u"Jazz") << version;
        EXPECT_EQ(t.Year(), "2004") << version;  // TYER in 2.3, TDRC in 2.4

        Fd fd(out, O_RDONLY);
        TId3v1Tags v1;
        ASSERT_TRUE(v1.ReadFromFile(fd)) << version;
        EXPECT_EQ(v1.Artist(), "Plain");  // (ffmpeg puts UTF-8 bytes into ID3v1)
        EXPECT_EQ(v1.Year(), 2004);
        EXPECT_EQ(v1.Track(), 5);
        EXPECT_EQ(v1.Genre(), "Jazz");
    }
}

// What mutagen finds in a file we tagged: one "KEY=value" line per frame.
const char* const kDumpId3 =
    "from mutagen.id3 import ID3, ParseID3v1\n"
    "t = ID3(path)\n"
    "print('version=%d.%d size=%d' % (t.version[0], t.version[1], t.size))\n"
    "for k in sorted(t.keys()): print('%s=%s' % (k, t[k].text[0] if hasattr(t[k], 'text') "
    "else t[k]))\n";

TEST(Interop, MutagenReadsOurId3v2) {
    REQUIRE_TOOLS("ffmpeg", "mutagen");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    const Bytes audio = test::ReadBytes(mp3);
    const std::string longAlbum(200, 'b');
    for (bool unicode : {true, false}) {
        test::WriteBytes(mp3, audio);
        TId3v2Tags t;
        t.SetTitle(kUnicode);
        t.SetArtist(u"Caf\u00e9");
        t.SetAlbum(Utf8ToUtf16(longAlbum));
        t.SetYear("2004");
        t.SetTrack("3/12");
        t.SetGenre(u"Rock");
        t.SetCopyright(u"(c)");
        {
            Fd fd(mp3, O_RDWR);
            ASSERT_TRUE(t.WriteToFile(fd, unicode));
        }
        Bytes file = test::ReadBytes(mp3);
        const size_t tagLen = file.size() - audio.size();
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin() + tagLen));
        const std::string title =
            unicode ? Utf16ToUtf8(kUnicode) : Latin1ToUtf8(Utf8ToLatin1(Utf16ToUtf8(kUnicode)));
        EXPECT_EQ(Py(kDumpId3, mp3), "version=2.4 size=" + std::to_string(tagLen) +
                                         "\nTALB=" + longAlbum +
                                         "\nTCON=Rock\nTCOP=(c)\nTDRC=2004\nTIT2=" + title +
                                         "\nTPE1=Caf\xc3\xa9\nTRCK=3/12\n")
            << unicode;
    }
}

TEST(Interop, MutagenReadsOurId3v1) {
    REQUIRE_TOOLS("ffmpeg", "mutagen");
    const auto dir = test::TestDir();
    auto mp3 = MakeMp3(dir);
    const Bytes audio = test::ReadBytes(mp3);
    TId3v1Tags t;
    t.SetTitle("Caf\xc3\xa9 \xe2\x98\x83");
    t.SetArtist("Artist");
    t.SetYear(1987);
    t.SetTrack(11);
    t.SetGenre("Trip-Hop");
    {
        Fd fd(mp3, O_RDWR);
        ASSERT_TRUE(t.WriteToFile(fd, false));
    }
    Bytes file = test::ReadBytes(mp3);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    EXPECT_EQ(Py("from mutagen.id3 import ParseID3v1\n"
                 "data = open(path, 'rb').read()[-128:]\n"
                 "f = ParseID3v1(data)\n"
                 "for k in sorted(f): print('%s=%s' % (k, f[k].text[0]))\n",
                 mp3),
              "TCON=27\nTDRC=1987\nTIT2=Caf\xc3\xa9 ?\nTPE1=Artist\nTRCK=11\n");
}

// UTF-16 bytes of `s`, with or without a byte-order mark.
std::string Utf16Bytes(std::u16string_view s, bool big, bool mark) {
    std::string out = mark ? (big ? "\xfe\xff" : "\xff\xfe") : "";
    for (char16_t c : s) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += big ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

// Tags as taggers write them read as mutagen reads them. Mutagen writes what
// it can; the rest (a big-endian mark, extended headers, unsynchronisation,
// damage, duplicate frames) is built here and only read by mutagen.
TEST(Interop, Id3v2ReadsAsMutagenDoes) {
    REQUIRE_TOOLS("mutagen");
    using test::Frame;
    using test::Tag;
    using test::Text;
    using test::Unsync;
    const auto dir = test::TestDir();
    auto frames = [](int version, std::initializer_list<std::pair<const char*, Bytes>> list,
                     uint8_t flags = 0) {
        Bytes out;
        for (const auto& [id, payload] : list)
            Append(out, Frame(id, flags & 0x02 ? Unsync(payload) : payload, version, flags));
        return out;
    };
    const Bytes title = Text(1, Utf16Bytes(kUnicode, false, true));  // FF FE: unsynchronised
    const Bytes artist = Text(0, "\xff\xe9t\xe9");
    const Bytes album = Text(3, "Alb\xc3\xbf");
    const Bytes v3 = frames(3, {{"TIT2", title}, {"TPE1", artist}, {"TALB", album}});
    const Bytes v4 = frames(4, {{"TIT2", title}, {"TPE1", artist}, {"TALB", album}});
    Bytes dataLength = {0, 0, 0, static_cast<uint8_t>(title.size())};
    Append(dataLength, title);
    Bytes malformed = frames(3, {{"TIT2", Text(0, "ok")}, {"TPE1", Text(9, "bad encoding")}});
    Append(malformed, Bytes{1, 2, 3, 4, 0, 0, 0, 2, 0, 0, 'x', 'y'});  // no frame id
    Append(malformed, frames(3, {{"TPE1", Text(0, "after")}, {"TALB", Text(1, "")}}));

    struct Case {
        std::string name;
        std::string mutagen;  // save(path, version, frames...) arguments after the path
        Bytes tag;
    };
    const std::string u = "'" + Utf16ToUtf8(kUnicode) + "'";
    const std::vector<Case> cases = {
        {"utf16le-mark", "3, TIT2(encoding=1, text=" + u + "), TPE1(encoding=1, text='A')", {}},
        {"utf16be-v24", "4, TIT2(encoding=2, text=" + u + "), TALB(encoding=2, text='B')", {}},
        {"utf8-v24", "4, TIT2(encoding=3, text=" + u + "), TPE1(encoding=3, text='C')", {}},
        {"multiple-values",
         "4, TIT2(encoding=3, text=['One', 'Two']), TPE1(encoding=1, text=['A', 'B']), "
         "TCON(encoding=0, text=['Jazz', 'Rock'])",
         {}},
        {"genre-ref", "3, TIT2(encoding=0, text='g'), TCON(encoding=0, text='(3)')", {}},
        {"genre-ref-refined",
         "3, TIT2(encoding=0, text='g'), TCON(encoding=0, text='(3)Dance')",
         {}},
        {"genre-refs", "3, TIT2(encoding=0, text='g'), TCON(encoding=0, text='(17)(3)Trance')", {}},
        {"genre-number", "4, TIT2(encoding=0, text='g'), TCON(encoding=0, text='3')", {}},
        {"genre-escaped", "3, TIT2(encoding=0, text='g'), TCON(encoding=0, text='((Live)')", {}},
        {"tdrc", "4, TIT2(encoding=0, text='d'), TDRC(encoding=0, text='2004-05-06')", {}},
        {"utf16be-mark", "",
         Tag(3, 0,
             frames(3, {{"TIT2", Text(1, Utf16Bytes(kUnicode, true, true))},
                        {"TPE1", Text(1, Utf16Bytes(u"Caf\u00e9", true, true))}}),
             16)},
        {"extended-v23", "", Tag(3, 0x40, test::Join(Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, v3), 8)},
        {"extended-v24", "", Tag(4, 0x40, test::Join(Bytes{0, 0, 0, 6, 1, 0}, v4), 8)},
        {"extended-flag-only", "", Tag(4, 0x40, v4)},
        {"unsync-v23", "", Tag(3, 0x80, Unsync(v3), 4)},
        {"unsync-v24-frames", "",
         Tag(4, 0, frames(4, {{"TIT2", title}, {"TPE1", artist}, {"TALB", album}}, 0x02), 4)},
        {"unsync-v24-tag", "",
         Tag(4, 0x80, frames(4, {{"TIT2", Unsync(title)}, {"TPE1", Unsync(artist)}}))},
        {"data-length-v24", "", Tag(4, 0, Frame("TIT2", dataLength, 4, 0x01))},
        {"malformed-middle", "", Tag(3, 0, malformed, 10)},
        {"duplicates", "",
         Tag(3, 0,
             frames(3, {{"TIT2", Text(0, "First")},
                        {"TIT2", Text(0, "Second")},
                        {"TPE1", Text(3, "A1")},
                        {"TPE1", Text(1, "")},
                        {"TCON", Text(0, "(3)")},
                        {"TCON", Text(0, "Rock")},
                        {"TYER", Text(0, "1990")},
                        {"TYER", Text(0, "1991")}}))},
    };
    std::string writer =
        "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, TDRC\n"
        "def save(name, version, *frames):\n"
        "    t = ID3()\n"
        "    for f in frames: t.add(f)\n"
        "    t.save(name, v2_version=version)\n";
    std::string files;
    for (const Case& c : cases) {
        const auto path = dir / (c.name + ".mp3");
        Bytes file = c.tag;
        Append(file, test::Audio(64));
        test::WriteBytes(path, file);
        if (!c.mutagen.empty()) writer += "save(" + Q(path) + ", " + c.mutagen + ")\n";
        files += " " + Q(path);
    }
    std::ofstream(dir / "write.py") << writer;
    std::ofstream(dir / "read.py")
        << "import sys\nfrom mutagen.id3 import ID3\n"
           "for path in sys.argv[1:]:\n"
           "    t = ID3(path)\n"
           "    first = lambda k: str(t[k].text[0]) if k in t and t[k].text else ''\n"
           "    d = t.get('TDRC')\n"
           "    year = str(d.text[0].year) if d and d.text and d.text[0].year else ''\n"
           "    g = t.get('TCON')\n"
           "    genre = g.genres[0] if g and g.genres else ''\n"
           "    print('|'.join([first('TIT2'), first('TPE1'), first('TALB'), year, genre]))\n";
    int status = 1;
    std::string out = Shell(std::string(kPython) + " " + Q(dir / "write.py") + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    out = Shell(std::string(kPython) + " " + Q(dir / "read.py") + files + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    for (const Case& c : cases) {
        std::string expected;
        std::getline(lines, expected);
        TId3v2Tags t;
        ReadV2(dir / (c.name + ".mp3"), t);
        const std::string ours = Utf16ToUtf8(t.Title()) + "|" + Utf16ToUtf8(t.Artist()) + "|" +
                                 Utf16ToUtf8(t.Album()) + "|" + t.Year() + "|" +
                                 Utf16ToUtf8(t.Genre());
        EXPECT_EQ(ours, expected) << c.name;
        EXPECT_NE(expected.substr(0, 1), "|") << c.name << ": mutagen found no title";
    }
}

#ifdef QUILLET_CLI
TEST(Interop, CliListsWhatEachReaderFinds) {
    if (!std::filesystem::exists(QUILLET_CLI)) GTEST_SKIP() << "quillet-cli not built";
    const auto dir = test::TestDir();
    auto file = dir / "all.mp3";
    test::WriteBytes(file, test::Audio(64));
    {
        Fd fd(file, O_RDWR);
        TId3v2Tags v2;
        v2.SetTitle(u"T2 \u2603");
        v2.SetYear("2001");
        ASSERT_TRUE(v2.WriteToFile(fd, true));
        // An APEv2 tag (one Title item) and then nothing: ID3v1 would hide it.
        Bytes ape;
        test::AppendLE32(ape, 2);
        test::AppendLE32(ape, 0);
        test::Append(ape, std::string("Title\0Ap", 8));
        test::Append(ape, "APETAGEX");
        test::AppendLE32(ape, 2000);
        test::AppendLE32(ape, static_cast<uint32_t>(16 + 32));
        test::AppendLE32(ape, 1);
        ape.resize(ape.size() + 12, 0);
        ASSERT_EQ(::write(fd, ape.data(), ape.size()), static_cast<ssize_t>(ape.size()));
    }
    int status = 1;
    std::string out = Shell(std::string(QUILLET_CLI) + " tags " + Q(file), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "id3v2.Year: 2001\nid3v2.Title: T2 \xe2\x98\x83\napev2.Title: Ap\n");

    {
        Fd fd(file, O_RDWR);
        TId3v1Tags v1;
        v1.SetArtist("A1");
        ASSERT_TRUE(v1.WriteToFile(fd, false));
    }
    out = Shell(std::string(QUILLET_CLI) + " tags " + Q(file), &status);
    EXPECT_EQ(out,
              "id3v1.Artist: A1\nid3v1.Year: 0\nid3v1.Track: 0\nid3v1.Genre: Other\n"
              "id3v2.Year: 2001\nid3v2.Title: T2 \xe2\x98\x83\n");

    Shell(std::string(QUILLET_CLI) + " tags " + Q(dir / "missing") + " 2>/dev/null", &status);
    EXPECT_EQ(status, 1);
    Shell(std::string(QUILLET_CLI) + " tags 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}
#endif

}  // namespace
}  // namespace quillet
