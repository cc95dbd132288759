// Pictures only FFmpeg finds for the album art lookup: an AIFF's ID3 chunk
// and a Matroska attachment, written by ffmpeg; and the kinds the tag
// readers know are left to them.
#include <gtest/gtest.h>

#include <filesystem>

#include "album_art.h"
#include "codec_fixture.h"
#include "ffmpeg_picture.h"

using namespace quillet;
namespace fs = std::filesystem;

namespace {

TEST(FfmpegPicture, AttachedPicturesOfKindsTheTagReadersDoNotKnow) {
    const fs::path dir = fs::path(std::getenv("QUILLET_TEST_TMP")) / "ffmpeg-picture";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string d = "'" + dir.string() + "'";
    ASSERT_TRUE(test::Sh(
        "cd " + d +
        " && ffmpeg -v error -f lavfi -i color=red:s=16x16 -frames:v 1 front.jpg"
        " && ffmpeg -v error -f lavfi -i sine=d=0.2 -ac 2 base.wav"
        " && ffmpeg -v error -i base.wav -i front.jpg -map 0 -map 1 -c:v copy -write_id3v2 1"
        "    -disposition:v attached_pic -metadata:s:v 'comment=Cover (front)' id3.aiff"
        " && ffmpeg -v error -i base.wav -attach front.jpg -metadata:s:t mimetype=image/jpeg"
        "    -metadata:s:t filename=cover.jpg attached.mka"));
    std::ifstream in(dir / "front.jpg", std::ios::binary);
    const std::vector<uint8_t> front((std::istreambuf_iterator<char>(in)), {});
    for (const char* name : {"id3.aiff", "attached.mka"}) {
        TPictureChoice choice;
        OfferAttachedPictures((dir / name).string(), choice);
        EXPECT_TRUE(choice.Done()) << name << ": taken as the front cover";
        const TAlbumArt art = FindAlbumArt((dir / name).string(), OfferAttachedPictures);
        ASSERT_TRUE(art.Embedded) << name;
        EXPECT_EQ(art.Embedded->MimeType, "image/jpeg");
        EXPECT_TRUE(art.Embedded->Data == front) << name;
    }
    // No picture in a plain WAV: the folder's only image then.
    EXPECT_EQ(FindAlbumArt((dir / "base.wav").string(), OfferAttachedPictures).ImagePath,
              (dir / "front.jpg").string());
    TPictureChoice none;
    OfferAttachedPictures((dir / "missing.mka").string(), none);
    EXPECT_FALSE(none.Take());
}

}  // namespace
