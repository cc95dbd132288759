#include "track_input.h"

#include "content_sniff.h"

namespace quillet {

std::optional<TInputKind> TrackInputKind(const TTrackRef& track) {
    return InputKindFor(track.Path);
}

void AimInput(TAuFileIn& input, const TTrackRef& track, int64_t offset) {
    input.SetFileName(track.Path);
    input.SetFallbackReplayGain(track.SheetGain);
    if (!track.Range.Whole() || offset > 0) input.SetTimeRange(track.Range, offset);
}

Owned<TAuFileIn> OpenTrackInput(const TTrackRef& track) {
    const std::optional<TInputKind> kind = TrackInputKind(track);
    Owned<TAuFileIn> input(kind ? CreateInput(*kind, nullptr) : nullptr);
    if (!input) throw EAuException(kFormatNotSupported);
    AimInput(*input, track);
    return input;
}

}  // namespace quillet
