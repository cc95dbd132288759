// The tag editor against real files the encoders made: mutagen reads back
// what was written in every format, the decoded audio (and FLAC's MD5) is
// the same before and after, other frames survive an ID3v2 rewrite, legacy
// code pages are fixed, and every refused or killed write leaves the file
// exactly as it was.
#include <signal.h>
#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <map>

#include "ACS_Tags.h"
#include "tag_editor.h"
#include "tag_test_util.h"
#include "tags_internal.h"
#include "text.h"
#include "textfile.h"

using namespace quillet;
using namespace quillet::test;
namespace fs = std::filesystem;

namespace {

// A file the encoders made, made once per test process (each test runs in
// a process of its own, several at once).
fs::path Fixture(const std::string& name) {
    static const fs::path dir = [] {
        fs::path d = fs::path(std::getenv("QUILLET_TEST_TMP")) /
                     ("tag-editor." + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d);
        Shell("cd " + Q(d) +
              " && ffmpeg -v error -f lavfi -i sine=d=0.3 -ac 2 -ar 44100 -bitexact base.wav");
        return d;
    }();
    static const std::map<std::string, std::string> kMake = {
        {"cover.png", "ffmpeg -v error -f lavfi -i color=red:s=8x8 -frames:v 1 cover.png"},
        {"t.mp3", "lame --quiet base.wav t.mp3"},
        {"t.flac", "flac -s base.wav -o t.flac"},
        {"t.ogg", "oggenc -Q base.wav -o t.ogg"},
        {"t.opus", "ffmpeg -v error -i base.wav -c:a libopus t.opus"},
        {"t.oga", "flac -s --ogg base.wav -o t.oga"},
        {"t.m4a", "ffmpeg -v error -i base.wav -c:a aac t.m4a"},
        {"t.m4b", "ffmpeg -v error -i base.wav -c:a aac -f mp4 t.m4b"},
        {"alac.m4a", "ffmpeg -v error -i base.wav -c:a alac alac.m4a"},
        {"t.wma", "ffmpeg -v error -i base.wav -c:a wmav2 t.wma"},
        {"t.mpc", "mpcenc --silent base.wav t.mpc 2>/dev/null"},
        {"t.wv", "wavpack -q base.wav -o t.wv"},
        // No encoder of Monkey's Audio is packaged: a valid header over
        // bytes that stand for its frames.
        {"t.ape",
         "python3 -c \"import struct; open('t.ape', 'wb').write(b'MAC ' + "
         "struct.pack('<HH8I', 3990, 0, 52, 24, 0, 0, 0, 0, 0, 0) + bytes(16) + "
         "struct.pack('<HHIIHHII', 2000, 0, 73728, 73728, 1, 16, 2, 44100) + "
         "bytes(range(256)) * 40)\""}};
    const fs::path f = dir / name;
    if (!fs::exists(f)) {
        int status = 1;
        Shell("cd " + Q(dir) + " && " + kMake.at(name), &status);
        EXPECT_EQ(status, 0) << name;
    }
    return f;
}

fs::path Copy(const std::string& name, const fs::path& dir) {
    const fs::path to = dir / name;
    fs::copy_file(Fixture(name), to);
    return to;
}

std::string DecodedAudio(const fs::path& f) {
    return Shell("ffmpeg -v error -i " + Q(f) + " -map 0:a -f s16le - | md5sum");
}

TTagChanges Change(TTagKey key, TTagValues values) {
    TTagChanges c;
    c.Fields[static_cast<size_t>(key)] = std::move(values);
    return c;
}

TTagWriteResult Edit(const fs::path& f, const TTagChanges& c) {
    auto editor = CreateFileTagEditor();
    const TTagSnapshot snap = editor->Read(f);
    EXPECT_EQ(snap.Error, "");
    return editor->Write(f, snap.Stamp, c);
}

// Each file's fields as mutagen reads them, by our key names, one JSON
// object per file.
constexpr const char* kReader = R"(
import sys, json, base64, hashlib, mutagen
from mutagen.flac import Picture
keys = {'id3': ['TIT2','TPE1','TALB','TPE2','TRCK','TPOS','TDRC','TCON','COMM'],
        'xiph': ['title','artist','album','albumartist','tracknumber','discnumber','date','genre','comment'],
        'mp4': ['\xa9nam','\xa9ART','\xa9alb','aART','trkn','disk','\xa9day','\xa9gen','\xa9cmt'],
        'asf': ['Title','Author','WM/AlbumTitle','WM/AlbumArtist','WM/TrackNumber','WM/PartOfSet','WM/Year','WM/Genre','Description'],
        'ape': ['Title','Artist','Album','Album Artist','Track','Disc','Year','Genre','Comment']}
names = ['title','artist','album','albumartist','track','disc','date','genre','comment']
out = {}
for f in sys.argv[1:]:
    m = mutagen.File(f); t = m.tags; kind = type(m).__name__; r = {}; cover = None
    if kind == 'MP3':
        fam = 'id3'
        for k, n in zip(keys[fam], names):
            fr = [x for x in t.getall(k) if k != 'COMM' or x.desc == '']
            if fr: r[n] = [str(v) for v in fr[0].text]
        pics = [p for p in t.getall('APIC') if p.type == 3]
        if pics: cover = pics[0].data
        r['version'] = ['2.%d' % t.version[1]]
    elif kind in ('FLAC', 'OggVorbis', 'OggOpus', 'OggFLAC'):
        for k, n in zip(keys['xiph'], names):
            if k in t: r[n] = list(t[k])
        pics = m.pictures if kind == 'FLAC' else [Picture(base64.b64decode(v)) for v in t.get('metadata_block_picture', [])]
        pics = [p for p in pics if p.type == 3]
        if pics: cover = pics[0].data
    elif kind == 'MP4':
        for k, n in zip(keys['mp4'], names):
            if k in t: r[n] = ['%d/%d' % v for v in t[k]] if k in ('trkn', 'disk') else list(t[k])
        if 'covr' in t: cover = bytes(t['covr'][0])
    elif kind == 'ASF':
        for k, n in zip(keys['asf'], names):
            v = [str(v) for v in t.get(k, []) if str(v)]
            if v: r[n] = v
        if 'WM/Picture' in t:
            blob = t['WM/Picture'][0].value
            cover = blob[-int.from_bytes(blob[1:5], 'little'):]
    else:
        for k, n in zip(keys['ape'], names):
            if k in t: r[n] = list(t[k])
        if 'Cover Art (Front)' in t: cover = t['Cover Art (Front)'].value.split(b'\0', 1)[1]
    if cover is not None: r['cover'] = [hashlib.md5(cover).hexdigest()]
    out[f.rsplit('/', 1)[1]] = r
print(json.dumps(out, sort_keys=True, ensure_ascii=False))
)";

std::string MutagenRead(const std::vector<fs::path>& files) {
    std::string args;
    for (const auto& f : files) args += " " + Q(f);
    return Shell("/usr/bin/python3 - " + args + " <<'EOF'\n" + kReader + "\nEOF\n");
}

const std::vector<std::string> kFormats = {"t.mp3", "t.flac", "t.ogg", "t.opus",
                                           "t.oga", "t.m4a",  "t.m4b", "alac.m4a",
                                           "t.wma", "t.mpc",  "t.wv",  "t.ape"};

TEST(TagEditor, EveryFormatReadsBackInMutagenWithTheAudioUntouched) {
    const fs::path dir = TestDir();
    const Bytes png = ReadBytes(Fixture("cover.png"));
    TTagChanges c;
    const TTagValues title{"Тест ☃"}, artists{"A1", "Ünï 二"};
    c.Fields[0] = title;
    c.Fields[1] = artists;
    c.Fields[2] = TTagValues{"Альбом"};
    c.Fields[3] = TTagValues{"Various"};
    c.Fields[4] = TTagValues{"3/12"};
    c.Fields[5] = TTagValues{"1/2"};
    c.Fields[6] = TTagValues{"2024-05-01"};
    c.Fields[7] = TTagValues{"(Weird) Folk"};
    c.Fields[8] = TTagValues{"héllo 世界"};
    c.Cover = TTagChanges::TCover::Replace;
    c.NewCover = {png, "image/png"};

    std::vector<fs::path> files;
    std::map<std::string, std::string> audio;
    for (const std::string& name : kFormats) {
        const fs::path f = Copy(name, dir);
        files.push_back(f);
        const bool decodes = name != "t.ape";
        if (decodes) audio[name] = DecodedAudio(f);
        const std::string md5 =
            name == "t.flac" ? Shell("metaflac --show-md5sum " + Q(f)) : std::string();
        const Bytes original = ReadBytes(f);
        const TTagWriteResult r = Edit(f, c);
        ASSERT_EQ(r.Error, "") << name;
        if (decodes) {
            EXPECT_EQ(DecodedAudio(f), audio[name]) << name;
        } else {
            const Bytes now = ReadBytes(f);
            EXPECT_TRUE(std::equal(original.begin(), original.end(), now.begin())) << name;
        }
        if (!md5.empty()) {
            EXPECT_EQ(Shell("metaflac --show-md5sum " + Q(f)), md5);
        }

        // And our own reading, which the dialog shows, agrees.
        const TTagSnapshot again = CreateFileTagEditor()->Read(f);
        EXPECT_EQ(again.Stamp, r.Stamp) << name;
        EXPECT_EQ(again.Fields[0], title) << name;
        EXPECT_EQ(again.Fields[1], name == "t.wma" ? TTagValues{"A1; Ünï 二"} : artists) << name;
        EXPECT_EQ(again.Fields[6], TTagValues{"2024-05-01"}) << name;
        ASSERT_TRUE(again.Cover) << name;
        EXPECT_EQ(again.Cover->Data, png) << name;
        EXPECT_GT(again.Facts.SampleRate, 0) << name;
    }
    const std::string cover = Shell("md5sum < " + Q(Fixture("cover.png"))).substr(0, 32);
    const std::string expected =
        R"("album": ["Альбом"], "albumartist": ["Various"], "artist": ["A1", "Ünï 二"], )"
        R"("comment": ["héllo 世界"], "cover": [")" +
        cover +
        R"("], "date": ["2024-05-01"], "disc": ["1/2"], "genre": ["(Weird) Folk"], )"
        R"("title": ["Тест ☃"], "track": ["3/12"])";
    const std::string json = MutagenRead(files);
    for (const std::string& name : kFormats) {
        std::string want = "\"" + name + "\": {" + expected;
        if (name == "t.wma") {
            // One artist text in WMA's content description.
            want = "\"" + name + "\": {" + expected;
            want.replace(want.find(R"(["A1", "Ünï 二"])"),
                         std::string(R"(["A1", "Ünï 二"])").size(), R"(["A1; Ünï 二"])");
        }
        if (name == "t.mp3") want += R"(, "version": ["2.4"])";
        EXPECT_NE(json.find(want + "}"), std::string::npos) << name << "\n" << json;
    }

    // Removing takes the field away everywhere.
    TTagChanges remove;
    remove.Fields[8] = TTagValues{};
    remove.Cover = TTagChanges::TCover::Remove;
    for (const fs::path& f : files) ASSERT_EQ(Edit(f, remove).Error, "") << f;
    const std::string after = MutagenRead(files);
    EXPECT_EQ(after.find("comment"), std::string::npos) << after;
    EXPECT_EQ(after.find("cover"), std::string::npos) << after;
    EXPECT_NE(after.find("Альбом"), std::string::npos);
}

// An ID3v2.3 tag as a Windows tagger leaves it: Cyrillic in CP1251 under
// the name ISO-8859-1, a picture, gain, a tool's comment and private data.
TEST(TagEditor, Id3v2RewriteKeepsOtherFramesAndFixesLegacyText) {
    const fs::path f = Copy("t.mp3", TestDir());
    int status = 1;
    Shell("/usr/bin/python3 - " + Q(f) + R"( <<'EOF'
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, APIC, TXXX, COMM, PRIV
from mutagen.mp3 import MP3
cp = lambda s: s.encode('cp1251').decode('latin-1')
t = ID3()
t.add(TIT2(encoding=0, text=[cp('Группа крови')]))
t.add(TPE1(encoding=0, text=[cp('Кино')]))
t.add(TALB(encoding=0, text=[cp('Звезда по имени Солнце')]))
t.add(APIC(encoding=0, mime='image/png', type=4, desc='back', data=b'\x89PNG\r\n\x1a\nback'))
t.add(TXXX(encoding=1, desc='REPLAYGAIN_TRACK_GAIN', text=['-6.50 dB']))
t.add(COMM(encoding=0, lang='eng', desc='iTunNORM', text=[' 0000']))
t.add(PRIV(owner='tool', data=b'\x00\xff\x00'))
t.save(sys.argv[1], v2_version=3)
EOF)",
          &status);
    ASSERT_EQ(status, 0);
    // The player's own reader already shows the text right.
    {
        TAuFileStream s(f.string(), fmOpenRead);
        TId3v2Tags v2;
        ASSERT_TRUE(v2.ReadFromFile(s.Handle()));
        EXPECT_EQ(Utf16ToUtf8(v2.Title()), "Группа крови");
        EXPECT_EQ(Utf16ToUtf8(v2.Artist()), "Кино");
    }
    const std::string audio = DecodedAudio(f);
    ASSERT_EQ(Edit(f, Change(TTagKey::Date, {"1988-01-05"})).Error, "");
    EXPECT_EQ(DecodedAudio(f), audio);
    const std::string json = Shell("/usr/bin/python3 - " + Q(f) + R"( <<'EOF'
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
print(t.version[1], int(t['TIT2'].encoding), t['TIT2'].text[0], t['TPE1'].text[0], t['TALB'].text[0],
      t['TDRC'].text[0], t['TXXX:REPLAYGAIN_TRACK_GAIN'].text[0], t['COMM:iTunNORM:eng'].text[0],
      t.getall('PRIV')[0].data.hex(), int(t.getall('APIC')[0].type), t.getall('APIC')[0].data[8:])
EOF)");
    // Still 2.3, the text now UTF-16, the day kept beside the year.
    EXPECT_EQ(json,
              "3 1 Группа крови Кино Звезда по имени Солнце 1988-01-05 -6.50 dB  0000 00ff00 4 "
              "b'back'\n");
}

// Cyrillic in CP1251 is guessed from the fields together; a Western name in
// ISO-8859-1, which the guess alone would take for a DOS code page, stays.
TEST(TagEditor, Id3v1FieldsInALegacyCodePageAreGuessedTogether) {
    const fs::path dir = TestDir();
    struct Case {
        std::string title, artist;
        TTagValues wantTitle, wantArtist;
    };
    const Case cases[] = {
        {"\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0",
         "\xc0\xeb\xe8\xf1\xe0",
         {"Привет мир"},
         {"Алиса"}},
        {"J\xf3ga", "Bj\xf6rk Gu\xf0mundsd\xf3ttir", {"Jóga"}, {"Björk Guðmundsdóttir"}}};
    for (const Case& c : cases) {
        Bytes block(128, 0);
        std::memcpy(block.data(), "TAG", 3);
        std::memcpy(block.data() + 3, c.title.data(), c.title.size());
        std::memcpy(block.data() + 33, c.artist.data(), c.artist.size());
        const fs::path f = dir / "v1.mp3";
        WriteBytes(f, Join(ReadBytes(Fixture("t.mp3")), block));
        const TTagSnapshot snap = CreateFileTagEditor()->Read(f);
        EXPECT_EQ(snap.Fields[0], c.wantTitle);
        EXPECT_EQ(snap.Fields[1], c.wantArtist);
    }
}

TEST(TagEditor, RefusesAChangedFileAndWhatIsNoRegularFile) {
    const fs::path dir = TestDir();
    const fs::path f = Copy("t.flac", dir);
    auto editor = CreateFileTagEditor();
    const TTagSnapshot snap = editor->Read(f);
    const Bytes before = ReadBytes(f);
    TFileStamp stale = snap.Stamp;
    stale.ModifiedNs -= 1;
    EXPECT_EQ(editor->Write(f, stale, Change(TTagKey::Title, {"x"})).Error, kFileChangedText);
    EXPECT_EQ(ReadBytes(f), before);

    // Through a link: the target is written, the link stays, so do the mode bits.
    fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir / "link.flac";
    fs::create_symlink(f, link);
    const TTagSnapshot viaLink = editor->Read(link);
    EXPECT_EQ(editor->Write(link, viaLink.Stamp, Change(TTagKey::Title, {"linked"})).Error, "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(editor->Read(f).Fields[0], TTagValues{"linked"});
    EXPECT_EQ(fs::status(f).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const fs::path fifo = dir / "fifo", toFifo = dir / "fifo.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink(fifo, toFifo);
    const fs::path toDir = dir / "dir.mp3";
    fs::create_symlink(dir, toDir);
    for (const fs::path& odd : {toFifo, toDir, fs::path("/dev/null")}) {
        EXPECT_NE(editor->Read(odd).Error, "") << odd;
        EXPECT_NE(editor->Write(odd, {}, Change(TTagKey::Title, {"x"})).Error, "") << odd;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// A failure, or the process killed, at each step of a write: the file is as
// it was. A failure also leaves no temporary file behind.
TEST(TagEditor, AFailedOrKilledWriteLeavesTheFileAsItWas) {
    const fs::path dir = TestDir();
    for (const std::string name : {"t.mp3", "t.ogg"}) {
        const fs::path f = Copy(name, dir);
        const Bytes before = ReadBytes(f);
        const TTagChanges c = Change(TTagKey::Album, {"Never written"});
        for (int step = 1; step <= 4; ++step) {
            tags_detail::EditStepHook = [step](int at) {
                if (at == step) throw EInOutError("injected", 0);
            };
            EXPECT_EQ(Edit(f, c).Error, "injected") << name << " step " << step;
            tags_detail::EditStepHook = nullptr;
            EXPECT_EQ(ReadBytes(f), before) << name << " step " << step;

            const pid_t child = ::fork();
            if (child == 0) {
                tags_detail::EditStepHook = [step](int at) {
                    if (at == step) ::raise(SIGKILL);
                };
                Edit(f, c);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status)) << name << " step " << step;
            EXPECT_EQ(ReadBytes(f), before) << name << " step " << step;
        }
    }
    // Killed after the copy was begun (steps 2 to 4): the copy stays, as
    // after a crash; a failure removes its own.
    size_t leftovers = 0;
    for (const auto& e : fs::directory_iterator(dir))
        leftovers += e.path().filename().string().ends_with(".tmp");
    EXPECT_EQ(leftovers, 6u);
}

#ifdef QUILLET_CLI
TEST(TagEditor, CommandLineWritesEveryFileAndSaysWhichWereNot) {
    const fs::path dir = TestDir();
    const fs::path a = Copy("t.flac", dir), b = Copy("t.mp3", dir);
    const std::string cli = QUILLET_CLI;
    int status = -1;
    const std::string base = cli + " tags " + Q(a) + " " + Q(b);
    Shell(base + " --set artist=One --set artist=Two --set title=Üb --remove comment 2>&1",
          &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CreateFileTagEditor()->Read(b).Fields[1], (TTagValues{"One", "Two"}));
    EXPECT_EQ(CreateFileTagEditor()->Read(a).Fields[0], TTagValues{"Üb"});
    const std::string out = Shell(base + " /nonexistent.mp3 --set album=X 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("/nonexistent.mp3: File not found"), std::string::npos) << out;
    EXPECT_EQ(CreateFileTagEditor()->Read(a).Fields[2], TTagValues{"X"});
    Shell(base + " --set colour=red 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}
#endif

}  // namespace
