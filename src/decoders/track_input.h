// The one rule that turns a track into an input: the input its extension
// names (or, where the file's first bytes call for another, that one), the
// file name set, and the part of the file to play. The player's input pool,
// its gapless chain and quillet-cli all go through here.
#pragma once

#include <optional>
#include <string>

#include "ACS_Classes.h"
#include "input_table.h"
#include "time_range.h"
#include "track_ref.h"

namespace quillet {

// The player's message for a track no input plays.
inline constexpr char kFormatNotSupported[] = "Format not supported";

// The input kind for the track; nullopt means "Format not supported". Reads
// the first bytes of a regular file (content_sniff.h).
std::optional<TInputKind> TrackInputKind(const TTrackRef& track);

// Points an idle input at the track, `offset` flicks into it (a resumed
// position), with the track's SheetGain as the input's fallback gain.
void AimInput(TAuFileIn& input, const TTrackRef& track, int64_t offset = 0);

// A new input for the track, owned by the caller. Raises "Format not
// supported" when no input plays it.
Owned<TAuFileIn> OpenTrackInput(const TTrackRef& track);

}  // namespace quillet
