#include "measured_gain.h"

#include <filesystem>

#include "paths.h"

namespace quillet {

namespace {

// An album of more tracks than this is measured as far as this many around
// the track (a list of one album's thousand rows is not one album).
constexpr size_t kMaxAlbumTracks = 100;

}  // namespace

TMeasuredGain::TMeasuredGain(TPlaylistModel& list, TDXAudioOut& out, const TPlayOrder& order)
    : FList(&list), FOut(out), FOrder(order) {
    FList->AddListener(this);
    FOut.SetInputGainProvider([this](TAuInput& input) { return Info(input); });
}

TMeasuredGain::~TMeasuredGain() {
    FOut.SetInputGainProvider({});
    FList->RemoveListener(this);
    FService.reset();  // joins its thread: no done event after this
}

bool TMeasuredGain::Measuring() const {
    return FMeasuring && FOut.ReplayGain().Mode != TReplayGainMode::Off;
}

TLoudnessService& TMeasuredGain::StartService() {
    if (!FService) {
        FService = std::make_unique<TLoudnessService>(FOptions);
        FService->SetOnDone([this](const std::string&, bool) { FOut.RefreshInputGain(); });
        FServiceSeen = FService.get();
    }
    return *FService;
}

bool TMeasuredGain::WaitCacheLoaded(std::chrono::milliseconds timeout) {
    return StartService().WaitLoaded(timeout);
}

void TMeasuredGain::SetMeasuring(bool on) {
    if (on == FMeasuring) return;
    FMeasuring = on;
    SettingsChanged();
}

TMeasuredGain::TInputPlace TMeasuredGain::PlaceOf(TEntryId id) const {
    TInputPlace place;
    place.Id = id;
    const int row = FList->IndexOf(id);
    if (row < 0) return place;
    auto pathOf = [this](size_t i) -> std::string {
        const TTrackRef track = TrackOf((*FList)[i]);
        if (!track.Range.Whole() || IsUrl(track.Path) || track.Path.empty()) return {};
        // As the cache knows it (and quillet-cli gives it).
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(track.Path, ec);
        return ec ? track.Path : full.lexically_normal().string();
    };
    place.Path = pathOf(static_cast<size_t>(row));
    if (place.Path.empty()) return place;
    const size_t count = FList->size(), at = static_cast<size_t>(row);
    auto albumAt = [this](size_t i) -> std::string_view { return (*FList)[i].Info.Tags.Album; };
    place.SmartChoice = SmartGainMode({!FOrder.Shuffle(), albumAt(at),
                                       at > 0 ? albumAt(at - 1) : std::string_view(),
                                       at + 1 < count ? albumAt(at + 1) : std::string_view()});
    TAlbumRun run = AlbumRunOf(count, at, albumAt);
    if (run.First == run.Last) return place;
    run.First = std::max(run.First, at > kMaxAlbumTracks / 2 ? at - kMaxAlbumTracks / 2 : 0);
    run.Last = std::min(run.Last, run.First + kMaxAlbumTracks - 1);
    for (size_t i = run.First; i <= run.Last; ++i) {
        std::string path = pathOf(i);
        // A track that cannot be measured would keep the album from ever
        // being complete: no album gain then.
        if (path.empty()) {
            place.Album.clear();
            break;
        }
        place.Album.push_back(std::move(path));
    }
    return place;
}

void TMeasuredGain::Opened(const TAuInput* input, TEntryId id) {
    TInputPlace place = PlaceOf(id);
    std::lock_guard<std::mutex> g(FLock);
    FPlaces[input] = std::move(place);
}

TInputGainInfo TMeasuredGain::Info(TAuInput& input) {
    TInputGainInfo info;
    TInputPlace place;
    {
        std::lock_guard<std::mutex> g(FLock);
        const auto it = FPlaces.find(&input);
        if (it == FPlaces.end()) return info;
        place = it->second;
    }
    info.SmartChoice = place.SmartChoice;
    TLoudnessService* service = FServiceSeen.load();
    if (service == nullptr || place.Path.empty() || !FMeasuring) return info;
    const TReplayGainMode mode = FOut.ReplayGain().Mode;
    const bool album =
        mode == TReplayGainMode::Album ||
        (mode == TReplayGainMode::Smart && place.SmartChoice == TReplayGainMode::Album);
    info.Measured = service->Lookup(place.Path, album ? place.Album : std::vector<std::string>{});
    return info;
}

void TMeasuredGain::Ahead(TEntryId heard, TEntryId next) {
    FHeard = heard;
    FNext = next;
    if (!Measuring() || heard == kNoEntry) return;
    const TInputPlace now = PlaceOf(heard);
    const TInputPlace after = next != kNoEntry ? PlaceOf(next) : TInputPlace{};
    if (now.Path.empty() && after.Path.empty()) return;
    StartService();
    // The latest request is served first: the heard entry, then the next,
    // then the rest of the heard entry's album.
    const TReplayGainMode mode = FOut.ReplayGain().Mode;
    if (mode == TReplayGainMode::Album ||
        (mode == TReplayGainMode::Smart && now.SmartChoice == TReplayGainMode::Album))
        for (auto it = now.Album.rbegin(); it != now.Album.rend(); ++it)
            if (*it != now.Path && *it != after.Path) FService->Request(*it);
    if (!after.Path.empty()) FService->Request(after.Path);
    if (!now.Path.empty()) FService->Request(now.Path);
}

void TMeasuredGain::Replace() {
    bool changed = false;
    {
        std::lock_guard<std::mutex> g(FLock);
        for (auto& [input, place] : FPlaces) {
            // An entry gone from the list plays on as it was.
            if (FList->IndexOf(place.Id) < 0) continue;
            TInputPlace now = PlaceOf(place.Id);
            if (now.Path == place.Path && now.SmartChoice == place.SmartChoice &&
                now.Album == place.Album)
                continue;
            place = std::move(now);
            changed = true;
        }
    }
    if (!changed) return;
    FOut.RefreshInputGain();
    Ahead(FHeard, FNext);
}

void TMeasuredGain::EntryChanged(int index) {
    // Only album tags of the entries playing or queued and their
    // neighbours matter; Replace finds out which changed.
    if (FList->Contains(index) && !FPlaces.empty()) Replace();
}

void TMeasuredGain::SetList(TPlaylistModel& list) {
    if (&list == FList) return;
    FList->RemoveListener(this);
    FList = &list;
    FList->AddListener(this);
    Replace();
}

void TMeasuredGain::SettingsChanged() {
    Replace();
    FOut.RefreshInputGain();
    Ahead(FHeard, FNext);
}

}  // namespace quillet
