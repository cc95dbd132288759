// Where a crossfade may go: not where the music is meant to run on. The
// next row of one album playing in order (the album run of smart gain,
// gain.h's AlbumRunOf) and the next part of one CUE image join sample for
// sample; shuffle, a queued track, a change of album, a repeat or a wrap
// to the top of the list may crossfade.
//
// GUI thread (it reads the model).
#pragma once

#include "playlist_model.h"

namespace quillet {

// Whether row `to` runs on from row `from` without a seam to hide.
bool GaplessJoin(const TPlaylistModel& list, int from, int to);

}  // namespace quillet
