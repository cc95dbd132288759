// Album art: the picture chosen from each embedded kind, written by the
// reference taggers (mutagen, metaflac) on files the encoders made; the
// folder images in their order; hostile pictures; the art cache.
#include <algorithm>
#include <chrono>

#include "album_art.h"
#include "tag_test_util.h"

using namespace quillet;
using namespace quillet::test;
namespace fs = std::filesystem;

namespace {

// Tagging script: pictures written the way the taggers' users write them.
// Each file gets a back cover first and then the front cover, so the type
// decides, not the order; the front cover's declared type lies (PNG).
constexpr const char* kTagger = R"(
import sys, base64
from mutagen.id3 import ID3, APIC
from mutagen.flac import Picture
from mutagen.oggvorbis import OggVorbis
from mutagen.oggopus import OggOpus
from mutagen.mp4 import MP4, MP4Cover
from mutagen.apev2 import APEv2, APEValue, BINARY
d = sys.argv[1]
front = open(d + '/front.jpg', 'rb').read()
back = open(d + '/back.png', 'rb').read()
t = ID3()
t.add(APIC(encoding=1, mime='image/png', type=4, desc='back', data=back))
t.add(APIC(encoding=1, mime='image/png', type=3, desc='front', data=front))
t.save(d + '/id3.mp3', v2_version=3)
t = ID3()
t.add(APIC(encoding=3, mime='image/png', type=3, desc='', data=front))
t.save(d + '/id3v24.mp3', v2_version=4)
def block(data, kind, mime):
    p = Picture(); p.type = kind; p.mime = mime; p.data = data
    return base64.b64encode(p.write()).decode()
for name, cls in (('vorbis.ogg', OggVorbis), ('opus.opus', OggOpus)):
    f = cls(d + '/' + name)
    f['metadata_block_picture'] = [block(back, 4, 'image/png'), block(front, 3, 'image/png')]
    f.save()
f = MP4(d + '/covr.m4a')
f['covr'] = [MP4Cover(front, imageformat=MP4Cover.FORMAT_PNG)]
f.save()
a = APEv2()
a['Cover Art (Back)'] = APEValue(b'back.png\0' + back, BINARY)
a['Cover Art (Front)'] = APEValue(b'front.jpg\0' + front, BINARY)
a.save(d + '/ape.wv')
t = ID3()
t.add(APIC(encoding=0, mime='image/jpeg', type=3, desc='huge', data=b'\xff\xd8\xff' + bytes(17 << 20)))
t.save(d + '/huge.mp3')
t = ID3()
t.add(APIC(encoding=0, mime='image/jpeg', type=3, desc='text', data=b'not a picture at all'))
t.add(APIC(encoding=0, mime='image/png', type=0, desc='other', data=back))
t.save(d + '/notimage.mp3')
)";

struct Fixtures {
    fs::path dir;
    Bytes front, back;
};

const Fixtures& Files() {
    static const Fixtures f = [] {
        Fixtures f;
        f.dir = fs::path(std::getenv("QUILLET_TEST_TMP")) / "album-art";
        fs::remove_all(f.dir);
        fs::create_directories(f.dir);
        const std::string d = Q(f.dir);
        int status = 1;
        Shell("cd " + d +
                  " && ffmpeg -v error -f lavfi -i color=red:s=16x16 -frames:v 1 front.jpg"
                  " && ffmpeg -v error -f lavfi -i color=blue:s=16x16 -frames:v 1 back.png"
                  " && ffmpeg -v error -f lavfi -i sine=d=0.2 -ac 2 -bitexact base.wav"
                  " && for f in id3.mp3 id3v24.mp3 huge.mp3 notimage.mp3; do"
                  "      ffmpeg -v error -i base.wav -id3v2_version 0 $f; done"
                  " && ffmpeg -v error -i base.wav -c:a libvorbis vorbis.ogg"
                  " && ffmpeg -v error -i base.wav -c:a libopus opus.opus"
                  " && ffmpeg -v error -i base.wav -c:a aac covr.m4a"
                  " && wavpack -q base.wav -o ape.wv"
                  " && flac -s base.wav -o pictures.flac"
                  " && cp pictures.flac others.flac"
                  " && metaflac --import-picture-from='4|image/png|||back.png'"
                  "    --import-picture-from='3|image/png||16x16x24|front.jpg' pictures.flac"
                  " && metaflac --import-picture-from='4|image/png|||back.png'"
                  "    --import-picture-from='0|image/jpeg||16x16x24|front.jpg' others.flac"
                  " && /usr/bin/python3 - " +
                  d + " <<'EOF'\n" + kTagger + "\nEOF\n",
              &status);
        EXPECT_EQ(status, 0) << "fixtures";
        f.front = ReadBytes(f.dir / "front.jpg");
        f.back = ReadBytes(f.dir / "back.png");
        return f;
    }();
    return f;
}

// A copy of a fixture alone in a folder of its own (no folder images).
fs::path Alone(const std::string& name) {
    const fs::path dir = TestDir() / "alone";
    fs::create_directories(dir);
    fs::copy_file(Files().dir / name, dir / name);
    return dir / name;
}

TEST(AlbumArt, TheFrontCoverOfEachEmbeddedKind) {
    for (const char* name : {"id3.mp3", "id3v24.mp3", "pictures.flac", "vorbis.ogg", "opus.opus",
                             "covr.m4a", "ape.wv"}) {
        const TAlbumArt art = FindAlbumArt(Alone(name));
        ASSERT_TRUE(art.Embedded) << name;
        EXPECT_TRUE(art.Embedded->Data == Files().front) << name;
        EXPECT_EQ(art.Embedded->MimeType, "image/jpeg") << name << ": sniffed, not declared";
        EXPECT_TRUE(art.ImagePath.empty());
    }
    // Without a front cover, the first picture.
    const TAlbumArt art = FindAlbumArt(Alone("others.flac"));
    ASSERT_TRUE(art.Embedded);
    EXPECT_EQ(art.Embedded->MimeType, "image/png");
    EXPECT_TRUE(art.Embedded->Data == Files().back);
}

TEST(AlbumArt, HostilePicturesAreSkipped) {
    // 17 MiB: over the limit, so the folder's image is shown instead.
    const fs::path huge = Alone("huge.mp3");
    WriteBytes(huge.parent_path() / "cover.png", Files().back);
    TAlbumArt art = FindAlbumArt(huge);
    EXPECT_FALSE(art.Embedded);
    EXPECT_EQ(art.ImagePath, (huge.parent_path() / "cover.png").string());

    // A "front cover" that is no image gives way to the next picture.
    art = FindAlbumArt(Alone("notimage.mp3"));
    ASSERT_TRUE(art.Embedded);
    EXPECT_TRUE(art.Embedded->Data == Files().back);

    // Cut inside the front cover, whose block then claims more than the
    // file holds: the back cover before it.
    const fs::path cut = Alone("pictures.flac");
    Bytes flac = ReadBytes(cut);
    const auto front =
        std::search(flac.begin(), flac.end(), Files().front.begin(), Files().front.end());
    ASSERT_NE(front, flac.end());
    flac.erase(front + 20, flac.end());
    WriteBytes(cut, flac);
    art = FindAlbumArt(cut);
    ASSERT_TRUE(art.Embedded);
    EXPECT_TRUE(art.Embedded->Data == Files().back);

    // Other damage is the fuzz target's (fuzz/album_art.cpp); here, what is
    // not a file.
    for (const char* special : {"/dev/zero", "/dev/null", "/no/such/file.mp3"})
        EXPECT_FALSE(FindAlbumArt(special).Embedded) << special;
}

TEST(AlbumArt, FolderImagesInTheirOrder) {
    const fs::path dir = TestDir();
    const std::string track = (dir / "01 track.flac").string();
    WriteBytes(track, {});
    EXPECT_EQ(FindFolderImage(track), "");
    // The only image of the folder, whatever its name.
    WriteBytes(dir / "scan 1.JPG", {});
    WriteBytes(dir / "notes.txt", {});
    fs::create_directory(dir / "cover.jpg");  // a folder, not an image
    EXPECT_EQ(FindFolderImage(track), (dir / "scan 1.JPG").string());
    // Two unnamed images: neither.
    WriteBytes(dir / "scan 2.png", {});
    EXPECT_EQ(FindFolderImage(track), "");
    const char* const order[] = {"Album.webp", "front.PNG", "FOLDER.jpeg", "Cover.jpg"};
    for (const char* name : order) {
        WriteBytes(dir / name, {});
        EXPECT_EQ(FindFolderImage(track), (dir / name).string());
    }
    // The extension decides between two of one name.
    WriteBytes(dir / "cover.png", {});
    EXPECT_EQ(FindFolderImage(track), (dir / "Cover.jpg").string());
}

TEST(AlbumArt, AFolderOfThousandsOfImagesIsScannedByName) {
    const fs::path dir = TestDir();
    for (int i = 0; i < 5000; ++i)
        ::close(::creat((dir / ("img" + std::to_string(i) + ".jpg")).c_str(), 0644));
    WriteBytes(dir / "Folder.png", {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindFolderImage((dir / "t.mp3").string()), (dir / "Folder.png").string());
    // Generous: a scan that opened or read each file would take far longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(AlbumArt, TheCacheKeepsOnlyTheCurrentPicture) {
    const fs::path home = TestDir();
    ::setenv("XDG_CACHE_HOME", home.c_str(), 1);
    const std::string first = WriteArtCache({Files().front, "image/jpeg"});
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(fs::path(first).parent_path(), home / "quillet" / "art");
    EXPECT_EQ(fs::path(first).extension(), ".jpg");
    EXPECT_TRUE(ReadBytes(first) == Files().front);
    const std::string second = WriteArtCache({Files().back, "image/png"});
    EXPECT_NE(second, first) << "a client caching by URL must see the change";
    EXPECT_TRUE(ReadBytes(second) == Files().back);
    EXPECT_EQ(std::distance(fs::directory_iterator(home / "quillet" / "art"), {}), 1);
    EXPECT_EQ(WriteArtCache({Files().back, "image/png"}), second);
    ::setenv("XDG_CACHE_HOME", "/proc/no-cache-here", 1);
    EXPECT_EQ(WriteArtCache({Files().back, "image/png"}), "");
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
