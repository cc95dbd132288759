// Album art for a track: the picture embedded in the file, else an image in
// its folder. Nothing here decodes pixels: the caller gets the encoded bytes
// (or the image file's path) and decodes and scales them where it likes.
//
// Embedded pictures, in this order of kinds: ID3v2 APIC/PIC, FLAC PICTURE
// blocks, Vorbis/Opus/Ogg FLAC METADATA_BLOCK_PICTURE comments, MP4 covr,
// APEv2 "Cover Art (...)" items, and then what a caller-given reader finds
// (FFmpeg's attached pictures, src/decoders/ffmpeg_picture.h) when the file
// is of none of the kinds above. The first front cover (picture type 3; covr
// and "Cover Art (Front)" count as one) wins, else the first picture.
//
// Hostile files: a picture larger than kMaxPictureBytes is skipped before it
// is read; every size is checked against what remains of its container; the
// MIME type is sniffed from the picture's bytes (a declared type is never
// trusted) and bytes that are no JPEG, PNG, WebP, GIF or BMP are skipped.
// Only regular files are read (a FIFO or a device gives nothing).
//
// Folder images: "cover", "folder", "front", "album" (in that order, without
// regard to case) with the extension jpg, jpeg, png or webp, else the only
// image of those extensions there. Names only are read, so a folder of
// thousands of images costs one pass over its entries.
//
// Threads: every function may run on any thread, several at once; they take
// no lock and keep no state (WriteArtCache excepted: one writer at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

inline constexpr size_t kMaxPictureBytes = size_t{16} << 20;
// The picture type ID3v2 and FLAC give a front cover.
inline constexpr uint32_t kFrontCoverType = 3;

struct TPicture {
    std::vector<uint8_t> Data;  // the encoded picture
    std::string MimeType;       // sniffed from Data
};

// "image/jpeg", "image/png", "image/webp", "image/gif" or "image/bmp" from
// the first bytes; empty for anything else.
std::string SniffPictureType(const uint8_t* Data, size_t Size);

// The pictures of one file as they are found: keeps the first front cover,
// else the first picture.
class TPictureChoice {
  public:
    // Whether a picture of this type could still change the choice (false
    // once a front cover is held): a reader skips it unread otherwise.
    bool Wants(uint32_t Type) const { return !FFront && (Type == kFrontCoverType || !FPicture); }
    // False (and nothing kept) for a picture over the limit or of no known
    // image type.
    bool Offer(uint32_t Type, std::vector<uint8_t> Data);
    bool Done() const { return FFront; }
    std::optional<TPicture> Take() { return std::move(FPicture); }

  private:
    std::optional<TPicture> FPicture;
    bool FFront = false;
};

// Offers the pictures embedded in the open file (any offset; the offset is
// left undefined) to Choice, kind after kind, until a front cover is held.
// Returns true when the file is of a kind read here (ID3v2, FLAC, Ogg, MP4),
// whether it holds a picture or not.
bool ReadEmbeddedPictures(int Fd, TPictureChoice& Choice);

// The folder image for a track, by the rules above; empty when there is none.
std::string FindFolderImage(const std::string& TrackPath);

// Embedded kinds read elsewhere (FFmpeg), tried for files of no kind read here.
using TPictureReader = std::function<void(const std::string& Path, TPictureChoice& Choice)>;

struct TAlbumArt {
    std::optional<TPicture> Embedded;  // the embedded picture, when there is one
    std::string ImagePath;             // else the folder image ("" without)
    bool Empty() const { return !Embedded && ImagePath.empty(); }
};

// The track's art: its embedded picture, else its folder image. Slow (file
// reads): call it off the GUI thread.
TAlbumArt FindAlbumArt(const std::string& TrackPath, const TPictureReader& Others = {});

// Writes Picture to the per-user art cache, "quillet/art/" under
// $XDG_CACHE_HOME (else ~/.cache), for a media-player interface that takes
// art as a file URL. The name comes from the content (a client that caches
// by URL still sees a new picture); the file is written beside and renamed
// over, and every other picture there is removed: only the current one is
// kept. Returns the file's path; empty when it could not be written.
std::string WriteArtCache(const TPicture& Picture);

}  // namespace quillet
