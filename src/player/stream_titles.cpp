#include "stream_titles.h"

#include "stream_input.h"
#include "track_tags.h"

namespace quillet {

TStreamTitles::TStreamTitles(TPlaybackController& player) : FPlayer(player) {
    FPlayer.AddListener(this);
}

TStreamTitles::~TStreamTitles() {
    FPlayer.RemoveListener(this);
}

void TStreamTitles::Poll() {
    const TEntryId id = FPlayer.HeardEntry();
    const std::string& path = FPlayer.HeardTrack().Path;
    if (id == kNoEntry || !IsUrl(path)) return;
    // The sink's input is the heard one unless a next track was handed over.
    const auto* stream = dynamic_cast<const TStreamIn*>(FPlayer.Output().Input());
    if (stream == nullptr || stream->FileName() != path) return;
    const uint32_t serial = stream->TitleSerial();
    if (id == FEntry && stream == FInput && serial == FSerial) return;
    FEntry = id;
    FInput = stream;
    FSerial = serial;
    const TStreamInfo info = stream->StreamInfo();
    const std::string song = JoinTagTitle(info.Artist, info.Title);
    const std::string station = OneLine(info.Station);
    if (song.empty() && station.empty()) return;  // nothing said yet: the row stays
    TTrackTags tags;
    tags.Title = info.Title.empty() ? station : OneLine(info.Title);
    tags.Artist = OneLine(info.Artist);
    tags.Album = station;
    FPlayer.List().ShowLiveTags(id, song.empty() ? station : song, tags);
}

}  // namespace quillet
