// What plays for one playlist entry or command-line argument: a file (or an
// address), or a part of one (a CUE sheet's track in an image), with the
// gains its sheet gives. The playlist layer makes it from an entry
// (TrackOf), the decoders make an input of it (track_input.h).
#pragma once

#include <string>

#include "ACS_Classes.h"
#include "time_range.h"

namespace quillet {

struct TTrackRef {
    std::string Path;
    TTimeRange Range;
    // The sheet's loudness gains, used when the file's own tags give none.
    TReplayGain SheetGain;
    bool operator==(const TTrackRef&) const = default;
};

}  // namespace quillet
