// The album art of a track made ready for the screen and for the bus: found
// (album_art.h), decoded with a bounded cost and scaled, all off the GUI
// thread. Both functions are slow (file reads, decoding): call them on a
// worker. They keep no state; any thread, several at once (ArtFileOf writes
// the one art cache file: one caller at a time).
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

// Pictures are decoded to at most this many pixels a side (scaled while
// decoding where the format allows), so one held picture stays small.
inline constexpr int kArtSide = 600;
// Pictures claiming more pixels than this are not decoded at all.
inline constexpr qint64 kArtMaxPixels = qint64{40} << 20;
// The side of the small copy shown in a tooltip.
inline constexpr int kArtThumbSide = 96;

struct TLoadedArt {
    QImage Image;         // null: the track has no art that decodes
    QByteArray ThumbPng;  // a PNG of at most kArtThumbSide a side
};

// The track's art (embedded, else its folder image), decoded and scaled to
// at most `side` pixels a side. Encoded bytes over kMaxPictureBytes, images
// over kArtMaxPixels and bytes that do not decode give no art.
TLoadedArt LoadArt(const std::string& trackPath, int side = kArtSide);

// Encoded picture bytes decoded by the same caps, at most `side` a side;
// null when past them or not a picture.
QImage DecodePicture(const std::vector<uint8_t>& data, int side);

// A file holding the track's art for a client that takes art by file name:
// its folder image, or the per-user cache file its embedded picture was
// written to. Empty when there is none, when the folder image is no
// picture, or when the picture is past the caps above (by its header: a
// desktop must not be handed what we refuse to decode).
std::string ArtFileOf(const std::string& trackPath);

}  // namespace quillet
