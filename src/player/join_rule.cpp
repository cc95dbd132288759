#include "join_rule.h"

#include "gain.h"

namespace quillet {

bool GaplessJoin(const TPlaylistModel& list, int from, int to) {
    if (!list.Contains(from) || !list.Contains(to)) return false;
    const TTrackRef before = TrackOf(list[static_cast<size_t>(from)]);
    const TTrackRef after = TrackOf(list[static_cast<size_t>(to)]);
    // One image's tracks: the sheet's next track starts where this one ends.
    if (!before.Range.Whole() && before.Path == after.Path && before.Range.End >= 0 &&
        after.Range.Start == before.Range.End)
        return true;
    if (to != from + 1) return false;
    const TAlbumRun run = AlbumRunOf(list.size(), static_cast<size_t>(from), [&](size_t i) {
        return std::string_view(list[i].Info.Tags.Album);
    });
    return static_cast<size_t>(to) <= run.Last;
}

}  // namespace quillet
