// The pictures FFmpeg finds attached to a file: the cover art streams of ASF
// (WMA), Matroska, WAV and AIFF ID3 chunks and the like, for the album art
// lookup (album_art.h) of files whose kind the tag readers do not know.
//
// Only the general input's demuxers and those of ASF, Matroska and WAV may
// open the file, through our own stream (no protocol, no second file). A
// picture is taken only when it is at most kMaxPictureBytes; FFmpeg has read
// it into memory by then, which its demuxers bound by the file's size.
//
// Threads: any thread; FFmpeg is loaded on first use (RequireFfmpeg).
#pragma once

#include <string>

#include "album_art.h"

namespace quillet {

// Offers each attached picture to Choice, a front cover as type 3 (FFmpeg's
// "Cover (front)" comment, or a Matroska attachment named cover.*). Nothing
// when FFmpeg cannot be loaded or cannot open the file.
void OfferAttachedPictures(const std::string& Path, TPictureChoice& Choice);

}  // namespace quillet
