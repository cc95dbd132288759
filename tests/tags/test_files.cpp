// The ID3 file operations on real files: reading, writing, and writing that
// fails part-way (the file must come back byte for byte).
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "ACS_Tags.h"
#include "tag_test_util.h"
#include "tags_internal.h"
#include "text.h"

namespace quillet {
namespace {

using test::Append;
using test::AppendBE;
using test::Bytes;
using test::Fd;
using test::Frame;
using test::Tag;
using test::Text;
using K = TTagValue::TKind;

// ---------------------------------------------------------------------------
// ID3v1

Bytes Id3v1Block(std::string_view title, uint8_t b125, uint8_t b126, uint8_t genre,
                 std::string_view year = "2001") {
    Bytes b(128, 0);
    std::memcpy(b.data(), "TAG", 3);
    std::memcpy(b.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    std::memcpy(b.data() + 33, "  Artist  ", 10);
    std::memcpy(b.data() + 93, year.data(), std::min<size_t>(year.size(), 4));
    std::memset(b.data() + 97, 'c', 30);  // a full 30-byte comment
    b[125] = b125;
    b[126] = b126;
    b[127] = genre;
    return b;
}

bool ReadV1(const std::filesystem::path& p, TId3v1Tags& t) {
    Fd fd(p, O_RDONLY);
    return t.ReadFromFile(fd);
}

TEST(Id3v1File, VersionDetectionAndTrimming) {
    const auto dir = test::TestDir();
    struct Case {
        uint8_t b125, b126;
        size_t commentLen;
        uint8_t track;
    } cases[] = {{0, 7, 28, 7}, {32, 65, 28, 65}, {0, 0, 30, 0}, {'c', 'c', 30, 0}};
    for (const auto& c : cases) {
        Bytes file = test::Audio(50);
        Append(file, Id3v1Block(std::string("Ti\0tle\xe9 \x01", 10), c.b125, c.b126, 200));
        test::WriteBytes(dir / "a.mp3", file);
        TId3v1Tags t;
        ASSERT_TRUE(ReadV1(dir / "a.mp3", t));
        EXPECT_EQ(t.Title(), std::string("Ti\0tle\xc3\xa9", 8));  // inner zero kept, Latin-1
        EXPECT_EQ(t.Artist(), "Artist");
        EXPECT_EQ(t.Year(), 2001);
        EXPECT_EQ(t.Track(), c.track);
        std::string comment(c.commentLen, 'c');
        if (c.commentLen == 30) {
            comment[28] = static_cast<char>(c.b125);
            comment[29] = static_cast<char>(c.b126);
            comment = std::string(Trim(comment));
        }
        EXPECT_EQ(t.Comment(), comment) << int(c.b125) << "/" << int(c.b126);
        EXPECT_EQ(t.GetValue("genre").AsInt(), 200);  // stored as read
        EXPECT_EQ(t.Genre(), "Other");
    }
}

TEST(Id3v1File, NoBlockClearsAndUnparsableYearIsZero) {
    const auto dir = test::TestDir();
    test::WriteBytes(dir / "short", test::Audio(100));
    TId3v1Tags t;
    EXPECT_FALSE(ReadV1(dir / "short", t));
    EXPECT_EQ(t.GenreId(), 0);  // cleared, not the initial 12

    Bytes file = test::Audio(300);
    Append(file, Id3v1Block("x", 0, 0, 3, "19x9"));
    test::WriteBytes(dir / "f", file);
    EXPECT_TRUE(ReadV1(dir / "f", t));
    EXPECT_EQ(t.Year(), 0);
    EXPECT_EQ(t.Genre(), "Dance");

    Fd fd(dir / "f", O_RDONLY);
    ::lseek(fd, 17, SEEK_SET);
    EXPECT_TRUE(t.HasTag(fd));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 17);  // HasTag restores the offset
    EXPECT_TRUE(t.ReadFromFile(fd));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), static_cast<off_t>(file.size()));
    EXPECT_FALSE(t.HasTag(-1));
    EXPECT_FALSE(t.ReadFromFile(-1));
}

TEST(Id3v1File, WriteAppendsABlockWithTheLimits) {
    const auto dir = test::TestDir();
    const Bytes audio = test::Audio(1000);
    test::WriteBytes(dir / "w", audio);
    TId3v1Tags t;
    t.SetTitle("Caf\xc3\xa9 \xe2\x98\x83 and a title longer than thirty bytes");
    t.SetYear(12345);
    t.SetComment(std::string(40, 'm'));
    t.SetTrack(9);
    t.SetGenre("Rock");
    {
        Fd fd(dir / "w", O_RDWR);
        ASSERT_TRUE(t.WriteToFile(fd, false));
    }
    Bytes file = test::ReadBytes(dir / "w");
    ASSERT_EQ(file.size(), audio.size() + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    const uint8_t* b = file.data() + audio.size();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 3), 30),
              "Caf\xe9 ? and a title longer than");  // ISO-8859-1, 30 bytes
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 93), 4), "1234");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 97), 28), std::string(28, 'm'));
    EXPECT_EQ(b[125], 0);
    EXPECT_EQ(b[126], 9);
    EXPECT_EQ(b[127], 17);

    // A second write appends again; the reader sees the last block.
    TId3v1Tags u;
    u.SetComment(std::string(40, 'n'));
    {
        Fd fd(dir / "w", O_RDWR);
        ASSERT_TRUE(u.WriteToFile(fd, false));
    }
    file = test::ReadBytes(dir / "w");
    ASSERT_EQ(file.size(), audio.size() + 256);
    b = file.data() + audio.size() + 128;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 93), 4), std::string("0\0\0\0", 4));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 97), 30), std::string(30, 'n'));
    EXPECT_EQ(b[127], 12);
    TId3v1Tags r;
    EXPECT_TRUE(ReadV1(dir / "w", r));
    EXPECT_EQ(r.Comment(), std::string(30, 'n'));
    EXPECT_EQ(r.Track(), 0);
    EXPECT_EQ(r.Year(), 0);
}

// Text read through a code-page guess is saved as the bytes it came from
// (re-encoding Cyrillic as ISO-8859-1 would leave question marks); new text
// is Windows-1252, so punctuation in its C1 range survives.
TEST(Id3v1File, ASecondSaveKeepsAGuessedCodePage) {
    const auto dir = test::TestDir();
    Bytes block(128, 0);
    std::memcpy(block.data(), "TAG", 3);
    const std::string cp1251 = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0";
    std::memcpy(block.data() + 3, cp1251.data(), cp1251.size());
    Bytes file = test::Audio(100);
    Append(file, block);
    test::WriteBytes(dir / "c", file);
    TId3v1Tags t;
    ASSERT_TRUE(ReadV1(dir / "c", t));
    ASSERT_EQ(t.Title(), "Привет мир");
    t.SetArtist("Wait\xe2\x80\xa6 \xe2\x80\x93 \xe2\x98\x83");
    {
        Fd fd(dir / "c", O_RDWR);
        ASSERT_TRUE(t.WriteToFile(fd, false));
    }
    const Bytes after = test::ReadBytes(dir / "c");
    const uint8_t* b = after.data() + file.size();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 3), cp1251.size()), cp1251);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 33), 10),
              std::string("Wait\x85 \x96 ?\0", 10));
}

// ---------------------------------------------------------------------------
// ID3v2 reading

struct V2Read {
    bool ok;
    int64_t offsetAfter;
    TId3v2Tags tags;
};

// Writes prefix + tag + audio and reads at the prefix's end.
void ReadV2(const Bytes& tag, V2Read& r, size_t prefix = 0) {
    const auto dir = test::TestDir();
    Bytes file = test::Audio(prefix);
    Append(file, tag);
    Append(file, test::Audio(64));
    test::WriteBytes(dir / "t.mp3", file);
    Fd fd(dir / "t.mp3", O_RDONLY);
    ::lseek(fd, static_cast<off_t>(prefix), SEEK_SET);
    r.ok = r.tags.ReadFromFile(fd);
    r.offsetAfter = ::lseek(fd, 0, SEEK_CUR);
}

TEST(Id3v2Read, EncodingsOfTextFrames) {
    const std::string snowmanUtf16le("\x03\x26", 2);
    Bytes frames = Frame("TIT2", Text(1, std::string("\xff\xfe"
                                                     "A\0",
                                                     4) +
                                             snowmanUtf16le));
    Append(frames, Frame("TPE1", Text(3,
                                      "\xe2\x98\x83"
                                      "B\0ignored")));
    Append(frames, Frame("TALB", Text(0, "Caf\xe9")));
    Append(frames, Frame("TCON", Text(2, std::string("\0A\0\0\0B", 6))));   // UTF-16BE
    Append(frames, Frame("TCOM", Text(1, std::string("\xfe\xff\0A", 4))));  // big-endian mark
    Append(frames, Frame("TLAN", Text(7, "bad encoding")));
    Append(frames, Frame("COMM", Text(0, "eng\0comment")));
    Append(frames, Frame("WXXX", Text(0, std::string("desc\0http://x", 13))));
    Append(frames, Frame("TYER", Text(0, "2004")));
    Append(frames, Frame("TXXX", Text(0, "other")));
    V2Read r;
    ReadV2(Tag(3, 0, frames, 20), r, 33);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.tags.LongIds());
    EXPECT_EQ(r.tags.Title(), u"A\u2603");
    EXPECT_EQ(r.tags.GetValue("TIT2").Kind(), K::Wide);
    EXPECT_EQ(r.tags.Artist(), u"\u2603B");
    EXPECT_EQ(r.tags.GetValue("TALB"), TTagValue::Narrow("Caf\xc3\xa9"));
    EXPECT_EQ(r.tags.Genre(), u"A");
    EXPECT_EQ(r.tags.Composer(), u"A");
    EXPECT_TRUE(r.tags.GetValue("TLAN").IsEmpty());
    EXPECT_TRUE(r.tags.Comment().empty());
    EXPECT_EQ(r.tags.Link(), u"desc");
    EXPECT_EQ(r.tags.Year(), "2004");
    EXPECT_EQ(r.offsetAfter, 33 + 10 + static_cast<int64_t>(frames.size()) + 20);
}

TEST(Id3v2Read, Version22UsesTheShortIds) {
    Bytes frames = Frame("TT2", Text(0, "Short"), 2);
    Append(frames, Frame("TP1", Text(1, std::string("\xff\xfeX\0", 4)), 2));
    V2Read r;
    ReadV2(Tag(2, 0, frames, 5), r);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.tags.LongIds());
    EXPECT_EQ(r.tags.Title(), u"Short");
    EXPECT_EQ(r.tags.Artist(), u"X");
    EXPECT_TRUE(r.tags.GetValue("TIT2").IsEmpty());
}

TEST(Id3v2Read, WalkStopsAtPaddingDamageAndSizeZero) {
    // Size-0 frame skipped; padding ends the walk.
    Bytes frames = Frame("TIT2", {});
    Append(frames, Frame("TPE1", Text(0, "after zero")));
    V2Read a;
    ReadV2(Tag(3, 0, frames, 30), a);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.tags.Artist(), u"after zero");
    EXPECT_EQ(a.offsetAfter, 10 + static_cast<int64_t>(frames.size()) + 30);

    // A frame claiming more than the tag holds ends the walk; earlier frames stay.
    Bytes big = Frame("TALB", Text(0, "kept"));
    Bytes liar = Frame("TIT2", Text(0, "x"));
    liar[4] = 0x7F;  // ~2 GiB
    Append(big, liar);
    Append(big, Frame("TPE1", Text(0, "never")));
    V2Read b;
    ReadV2(Tag(3, 0, big, 0), b);
    EXPECT_TRUE(b.ok);
    EXPECT_EQ(b.tags.Album(), u"kept");
    EXPECT_TRUE(b.tags.Artist().empty());

    // Declared size past the end of the file: a cleared set, still true, and
    // the offset past the declared tag.
    Bytes trunc = Tag(3, 0, Frame("TIT2", Text(0, "lost")), 4000);
    trunc.resize(100);
    const auto dir = test::TestDir();
    test::WriteBytes(dir / "trunc", trunc);
    Fd fd(dir / "trunc", O_RDONLY);
    TId3v2Tags t;
    EXPECT_TRUE(t.ReadFromFile(fd));
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 10 + 4000 + 15);
}

TEST(Id3v2Read, HeaderChecks) {
    const Bytes frames = Frame("TIT2", Text(0, "t"));
    struct Case {
        int version;
        uint8_t flags, revision;
        bool valid;
        bool fields;
    } cases[] = {
        {4, 0x10, 0, true, true},    // footer
        {3, 0x10, 0, false, false},  // undefined bit for 2.3
        {3, 0x40, 0, true, true},    // extended header skipped
        {3, 0x80, 0, true, true},    // unsynchronised (nothing to undo here)
        {2, 0x20, 0, false, false},
        {2, 0x40, 0, true, false},  // 2.2's compression bit: accepted,
                                    // read as stored
        {2, 0x80, 0, true, false},  // 2.2 reads 3-character ids only
        {4, 0x01, 0, false, false},
        {5, 0, 0, false, false},
        {3, 0, 255, false, false},
        {3, 0, 254, true, true},
    };
    for (const auto& c : cases) {
        Bytes body = frames;
        if (c.version == 3 && c.flags == 0x40)
            body.insert(body.begin(), {0, 0, 0, 6, 0, 0, 0, 0, 0, 0});
        V2Read r;
        ReadV2(Tag(c.version, c.flags, body, 3, c.revision), r, 7);
        EXPECT_EQ(r.ok, c.valid) << c.version << " " << int(c.flags);
        EXPECT_EQ(r.tags.GetValue("TIT2").IsEmpty(), !c.fields) << c.version << " " << int(c.flags);
        const int64_t footer = (c.flags & 0x10) ? 10 : 0;
        if (c.valid) {
            EXPECT_EQ(r.offsetAfter, 7 + 10 + static_cast<int64_t>(body.size()) + 3 + footer);
        }
    }
    Bytes badSize = Tag(3, 0, frames, 0);
    badSize[7] |= 0x80;
    V2Read r;
    ReadV2(badSize, r);
    EXPECT_FALSE(r.ok);

    const auto dir = test::TestDir();
    Bytes file = test::Audio(5);
    Append(file, Tag(3, 0, frames));
    test::WriteBytes(dir / "h", file);
    Fd fd(dir / "h", O_RDONLY);
    TId3v2Tags t;
    EXPECT_FALSE(t.HasTag(fd));  // looks at the current offset only
    ::lseek(fd, 5, SEEK_SET);
    EXPECT_TRUE(t.HasTag(fd));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
    EXPECT_FALSE(t.HasTag(-1));
}

TEST(Id3v2Read, Version24FrameSizesSynchsafeOrPlain) {
    const std::string longTitle(300, 't');
    for (bool synchsafe : {true, false}) {
        Bytes frames = Frame("TIT2", Text(0, longTitle), synchsafe ? 4 : 3);
        Append(frames, Frame("TPE1", Text(0, "next"), 4));
        V2Read r;
        ReadV2(Tag(4, 0, frames, 10), r);
        EXPECT_EQ(r.tags.GetAsString("TIT2"), longTitle) << synchsafe;
        EXPECT_EQ(r.tags.Artist(), u"next") << synchsafe;
    }
}

// What mutagen cannot judge: frames we skip, damaged extended headers, genre
// references outside the list, and which frame gives Year.
TEST(Id3v2Read, FlagsDamageGenresAndYears) {
    auto v4 = [](std::initializer_list<std::pair<const char*, Bytes>> list, uint8_t flags = 0) {
        Bytes out;
        for (const auto& [id, payload] : list) Append(out, Frame(id, payload, 4, flags));
        return out;
    };
    const Bytes title = Frame("TIT2", Text(0, "T"), 4);
    struct Case {
        const char* name;
        Bytes tag;
        std::u16string title, genre;
        std::string year;
    } cases[] = {
        {"compressed and encrypted skipped, the next copy read",
         Tag(4, 0,
             test::Join(v4({{"TIT2", Text(0, "zip")}}, 0x08),
                        test::Join(v4({{"TIT2", Text(0, "enc")}}, 0x04), title))),
         u"T", u"", ""},
        {"2.3 compressed skipped, grouped read",
         Tag(3, 0,
             test::Join(Frame("TIT2", Text(0, "zip"), 3, 0x80),
                        Frame("TIT2", test::Join(Bytes{7}, Text(0, "grouped")), 3, 0x20))),
         u"grouped", u"", ""},
        {"extended header past the tag", Tag(3, 0x40, test::Join({0, 0, 1, 0}, title)), u"", u"",
         ""},
        {"2.2 unsynchronised", Tag(2, 0x80, test::Unsync(Frame("TT2", Text(0, "\xff\xff"), 2))),
         u"\u00ff\u00ff", u"", ""},
        {"genre number outside the list kept", Tag(4, 0, v4({{"TCON", Text(0, "(200)")}})), u"",
         u"(200)", ""},
        {"genre remix, wide text", Tag(4, 0, v4({{"TCON", Text(3, "(RX)(3)")}})), u"", u"Remix",
         ""},
        {"TYER after TDRC wins",
         Tag(4, 0, v4({{"TDRC", Text(0, "2001-02")}, {"TYER", Text(0, "1999")}})), u"", u"",
         "1999"},
        {"TYER before TDRC stays",
         Tag(4, 0, v4({{"TYER", Text(0, "1999")}, {"TDRC", Text(0, "2001")}})), u"", u"", "1999"},
        {"first TDRC only",
         Tag(4, 0, v4({{"TDRC", Text(0, "2001-02")}, {"TDRC", Text(0, "1980")}})), u"", u"",
         "2001"},
    };
    for (const Case& c : cases) {
        V2Read r;
        ReadV2(c.tag, r);
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.offsetAfter, static_cast<int64_t>(c.tag.size())) << c.name;
        EXPECT_EQ(r.tags.Title(), c.title) << c.name;
        EXPECT_EQ(r.tags.Genre(), c.genre) << c.name;
        EXPECT_EQ(r.tags.Year(), c.year) << c.name;
    }
}

// ---------------------------------------------------------------------------
// ID3v2 writing

// Writes in memory (a memfd): the same descriptor calls, without the disk
// flush that would make the many small writes below slow.
Bytes WriteV2(TId3v2Tags& t, bool unicode, const Bytes& before) {
    int fd = ::memfd_create("tag", 0);
    EXPECT_EQ(::write(fd, before.data(), before.size()), static_cast<ssize_t>(before.size()));
    EXPECT_TRUE(t.WriteToFile(fd, unicode));
    const off_t pos = ::lseek(fd, 0, SEEK_CUR);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    EXPECT_EQ(pos, size);  // left at the new end
    Bytes after(static_cast<size_t>(size));
    EXPECT_EQ(::pread(fd, after.data(), after.size(), 0), size);
    ::close(fd);
    return after;
}

// Text that starts with "(" is escaped, so a genre reads back as written
// rather than as a reference to the genre list.
TEST(Id3v2Write, AGenreInParenthesesReadsBackAsWritten) {
    for (const char16_t* genre : {u"(Live) Rock", u"(3)", u"((x", u"Rock (Live)"}) {
        TId3v2Tags t;
        t.SetGenre(genre);
        V2Read r;
        ReadV2(WriteV2(t, true, {}), r);
        EXPECT_EQ(r.tags.Genre(), genre);
    }
}

TEST(Id3v2Write, LayoutPaddingAndEncodings) {
    const Bytes audio = test::Audio(5000);
    TId3v2Tags t;
    t.SetTitle(u"Caf\u00e9 \u2603");
    Bytes file = WriteV2(t, false, audio);
    // One TIT2 frame in ISO-8859-1: header 10 + frame 10 + 1 + 6, padding to 32.
    ASSERT_EQ(file.size(), audio.size() + 32);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin() + 32));
    Bytes expect = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 22, 'T', 'I', 'T', '2', 0, 0, 0, 7, 0, 0, 0};
    Append(expect, "Caf\xe9 ?");
    expect.resize(32, 0);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 32), expect);

    // Unicode: wide values as UTF-8 (encoding 3); narrow ones stay ISO-8859-1
    // when ASCII, else UTF-8 too (single-byte text is read through a guess).
    t.SetYear("2004");
    t.SetValue("TPE1", TTagValue::Narrow("Кино"));
    t.SetComment(u"never written");
    file = WriteV2(t, true, audio);
    {
        const auto dir = test::TestDir();
        test::WriteBytes(dir / "r", file);
        Fd fd(dir / "r", O_RDONLY);
        TId3v2Tags r;
        ASSERT_TRUE(r.ReadFromFile(fd));
        EXPECT_EQ(r.Title(), u"Caf\u00e9 \u2603");
        EXPECT_EQ(r.GetValue("TYER"), TTagValue::Narrow("2004"));
        EXPECT_EQ(r.GetValue("TPE1"), TTagValue::Wide(u"Кино"));
        EXPECT_TRUE(r.Comment().empty());
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), static_cast<off_t>(file.size() - audio.size()));
    }

    // Every length lands on a multiple of 16 with 1..16 bytes of padding.
    for (size_t n = 1; n <= 40; ++n) {
        TId3v2Tags s;
        s.SetAlbum(std::u16string(n, u'a'));
        Bytes f = WriteV2(s, false, Bytes{1, 2, 3});
        const size_t tagLen = f.size() - 3;
        const size_t used = 10 + 11 + n;
        EXPECT_EQ(tagLen % 16, 0u) << n;
        EXPECT_GE(tagLen - used, 1u) << n;
        EXPECT_LE(tagLen - used, 16u) << n;
    }

    // A set read from a 2.2 tag holds only 3-character fields: no frames.
    TId3v2Tags v22;
    v22.SetValue("TT2", TTagValue::Wide(u"x"));
    file = WriteV2(v22, true, Bytes{});
    EXPECT_EQ(file.size(), 16u);
}

TEST(Id3v2Write, ANewTagGoesInFrontOfAnOldOne) {
    Bytes old = Tag(3, 0, Frame("TIT2", Text(0, "old")), 10);
    Append(old, test::Audio(100));
    TId3v2Tags t;
    t.SetTitle(u"new");
    Bytes file = WriteV2(t, false, old);
    EXPECT_TRUE(std::equal(old.begin(), old.end(), file.end() - old.size()));
    const auto dir = test::TestDir();
    test::WriteBytes(dir / "r", file);
    Fd fd(dir / "r", O_RDONLY);
    TId3v2Tags r;
    ASSERT_TRUE(r.ReadFromFile(fd));
    EXPECT_EQ(r.GetAsString("TIT2"), "new");
    ASSERT_TRUE(r.ReadFromFile(fd));  // the offset now stands at the old tag
    EXPECT_EQ(r.GetAsString("TIT2"), "old");
}

// ---------------------------------------------------------------------------
// Writing that fails must leave the file as it was.

void SampleV2(TId3v2Tags& t) {
    t.SetTitle(u"A title \u2603");
    t.SetArtist(u"Someone");
}

// Runs `write` in a child process whose file size limit is the file's current
// size, so lengthening fails (EFBIG; SIGXFSZ ignored). Returns the child's
// result.
bool WriteUnderSizeLimit(const std::filesystem::path& p, std::function<bool(int)> write) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct stat st;
        ::stat(p.c_str(), &st);
        // Room for a few bytes more, so the first writes come back short.
        rlimit lim{static_cast<rlim_t>(st.st_size + 5), static_cast<rlim_t>(st.st_size + 5)};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        int fd = ::open(p.c_str(), O_RDWR);
        bool ok = write(fd);
        ::_exit(ok ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return WEXITSTATUS(status) == 0;
}

TEST(TagWriteFailure, FileSizeLimitLeavesTheFileUntouched) {
    const auto dir = test::TestDir();
    const Bytes original = test::Audio(3000);
    test::WriteBytes(dir / "a", original);
    EXPECT_FALSE(WriteUnderSizeLimit(dir / "a", [](int fd) {
        TId3v2Tags t;
        SampleV2(t);
        return t.WriteToFile(fd, true);
    }));
    EXPECT_EQ(test::ReadBytes(dir / "a"), original);
    EXPECT_FALSE(WriteUnderSizeLimit(dir / "a", [](int fd) {
        TId3v1Tags t;
        t.SetTitle("x");
        return t.WriteToFile(fd, false);
    }));
    EXPECT_EQ(test::ReadBytes(dir / "a"), original);
}

TEST(TagWriteFailure, ReadOnlyAndWriteOnlyDescriptors) {
    const auto dir = test::TestDir();
    const Bytes original = test::Audio(3000);
    test::WriteBytes(dir / "a", original);
    {
        Fd ro(dir / "a", O_RDONLY);
        TId3v2Tags t;
        SampleV2(t);
        EXPECT_FALSE(t.WriteToFile(ro, true));
        EXPECT_EQ(::lseek(ro, 0, SEEK_CUR), 0);
        TId3v1Tags v1;
        EXPECT_FALSE(v1.WriteToFile(ro, false));
    }
    EXPECT_EQ(test::ReadBytes(dir / "a"), original);
    {
        Fd wo(dir / "a", O_WRONLY);  // space reserved, then the move cannot read
        TId3v2Tags t;
        SampleV2(t);
        EXPECT_FALSE(t.WriteToFile(wo, true));
    }
    EXPECT_EQ(test::ReadBytes(dir / "a"), original);
    TId3v2Tags t;
    EXPECT_FALSE(t.WriteToFile(-1, true));
}

// Fails the 1st, 2nd, ... write of a run in turn (with small chunks so the
// move takes many steps) until a run gets through; every failed run must
// leave the file byte-identical, and the run that succeeds must be right.
// Chunks smaller and larger than the tag (64 bytes here) both occur: a larger
// chunk's half-done write lands on its own source bytes.
TEST(TagWriteFailure, EveryFailedWriteIsUndone) {
    const auto dir = test::TestDir();
    struct Case {
        size_t length, chunk;
    } cases[] = {{0, 7}, {5, 7}, {300, 7}, {1001, 100}};
    for (const auto [length, chunk] : cases) {
        const Bytes original = test::Audio(length);
        tags_detail::MoveChunk = chunk;
        int n = 1;
        for (;; ++n) {
            test::WriteBytes(dir / "a", original);
            Fd fd(dir / "a", O_RDWR);
            ::lseek(fd, 3, SEEK_SET);
            tags_detail::FailNthWrite = n;
            TId3v2Tags t;
            SampleV2(t);
            bool ok = t.WriteToFile(fd, true);
            if (ok) break;
            EXPECT_EQ(test::ReadBytes(dir / "a"), original) << length << " write " << n;
            EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 3);
        }
        tags_detail::FailNthWrite = 0;
        tags_detail::MoveChunk = size_t{1} << 20;
        EXPECT_GT(n, static_cast<int>(length / chunk)) << length;  // every chunk was tried
        Bytes file = test::ReadBytes(dir / "a");
        ASSERT_GE(file.size(), original.size());
        EXPECT_TRUE(std::equal(original.begin(), original.end(), file.end() - original.size()));
    }

    const Bytes original = test::Audio(50);
    test::WriteBytes(dir / "b", original);
    {
        Fd fd(dir / "b", O_RDWR);
        tags_detail::FailNthWrite = 1;
        TId3v1Tags t;
        EXPECT_FALSE(t.WriteToFile(fd, false));
        tags_detail::FailNthWrite = 0;
    }
    EXPECT_EQ(test::ReadBytes(dir / "b"), original);
}

}  // namespace
}  // namespace quillet
