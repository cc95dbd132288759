#include "entry_info.h"

#include <sys/stat.h>

#include <algorithm>

#include "paths.h"

namespace quillet {

TEntryInfo ReadEntryInfo(const TTrackRef& track) {
    TEntryInfo info;
    // An address is only ever opened to play it: reading it here would
    // connect to the station for every stream in the list.
    if (IsUrl(track.Path)) return info;
    struct stat st {};
    if (::stat(track.Path.c_str(), &st) != 0) {
        info.State = TEntryState::Failed;
        info.Error = "File not found";
        return info;
    }
    // A FIFO or a device named like a sound file would block the open.
    if (!S_ISREG(st.st_mode)) return info;
    info.Stamp = StampOf(st);
    info.Tags = ReadTrackTags(track.Path);
    try {
        Owned<TAuFileIn> input = OpenTrackInput(track);
        if (!input->IsValid()) {
            info.State = TEntryState::Failed;
            info.Error = kNotUnderstood;
            return info;
        }
        info.State = TEntryState::Playable;
        const uint32_t rate = input->GetSampleRate();
        const int64_t frames = input->GetSampleCount();
        if (rate == 0 || frames <= 0) return info;
        int64_t length = FramesToFlicks(frames, rate);
        if (!track.Range.Whole()) {
            const int64_t end = track.Range.End < 0 ? length : std::min(track.Range.End, length);
            length = std::max<int64_t>(0, end - track.Range.Start);
        }
        info.LengthFlicks = length;
        info.LengthEstimated = input->SizeIsEstimate();
    } catch (const std::exception& e) {
        info.State = TEntryState::Failed;
        info.Error = e.what();
    }
    return info;
}

TEntryInfo ReadEntryInfo(const TPlaylistEntry& entry) {
    TEntryInfo info = ReadEntryInfo(TrackOf(entry));
    const TEntryTags& sheet = TagsOf(entry);
    if (sheet.Track == 0) return info;
    // The image's own tags describe the whole album; the sheet's track
    // fields win, the file's fill in what the sheet lacks.
    if (!sheet.Title.empty()) info.Tags.Title = sheet.Title;
    if (!sheet.Artist.empty()) info.Tags.Artist = sheet.Artist;
    if (!sheet.Album.empty()) info.Tags.Album = sheet.Album;
    return info;
}

}  // namespace quillet
