// TMeasuredGain: the playback controller's side of measured loudness. Files
// without gain tags are measured in the background (TLoudnessService, which
// skips tagged files and keeps a cache) while the track before them plays,
// and the sink plays them by what was measured; smart mode's choice (album
// gain for an album playing in order, track gain otherwise) is worked out
// here from the list's album tags and the play order.
//
// The sink asks its input gain provider about each input it writes; the
// controller tells this object which entry each input it opened plays
// (Opened), so the provider answers from a small table and a cache lookup,
// never from a measurement. A result that comes in, a change of shuffle,
// mode or album tags makes the sink ask again (RefreshInputGain): a track
// already playing takes its new gain with a short ramp.
//
// Nothing is measured while the mode is Off or measuring is turned off, nor
// entries that are parts of a file (a CUE track: the file's loudness is not
// the track's) or streams. The service, its thread and its cache file start
// with the first request (or WaitCacheLoaded).
//
// A NOTE ON THREADS
// - GUI thread: construction, destruction, every method below, the list's
//   notifications.
// - The sink's worker: the provider (reads the table under FLock and the
//   service's cache; never waits for a measurement or for the GUI thread).
// - The service's thread: its done event, which only bumps the sink's
//   refresh count.
// The owner destroys this before the sink, with the sink's worker idle.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "loudness_service.h"
#include "play_order.h"
#include "playlist_model.h"

namespace quillet {

class TMeasuredGain final : private TPlaylistListener {
  public:
    TMeasuredGain(TPlaylistModel& list, TDXAudioOut& out, const TPlayOrder& order);
    ~TMeasuredGain();
    TMeasuredGain(const TMeasuredGain&) = delete;
    TMeasuredGain& operator=(const TMeasuredGain&) = delete;

    // The service's options (tests: a cache file of their own, a fake
    // meter); taken by the first measurement only.
    void SetOptions(TLoudnessServiceOptions options) { FOptions = std::move(options); }
    // The controller opened `input` to play entry `id`: the sink may ask of
    // it from now on.
    void Opened(const TAuInput* input, TEntryId id);
    // The entry heard and the one to follow it (kNoEntry: none): both are
    // measured, the heard one first, and for album gain the rest of the heard
    // entry's album behind them.
    void Ahead(TEntryId heard, TEntryId next);
    // The gain mode or the shuffle changed.
    void SettingsChanged();
    // Whether untagged files are measured at all (on unless turned off): the
    // command line measures only when asked to, and otherwise plays files as
    // their tags say.
    void SetMeasuring(bool on);
    // Starts the service now and waits at most `timeout` for its cache file,
    // so what the cache knows of the first track counts from its first
    // sample (for a caller about to play at once). False when not read yet.
    bool WaitCacheLoaded(std::chrono::milliseconds timeout);
    // The controller plays from another list now.
    void SetList(TPlaylistModel& list);
    // Null until the first measurement was asked for.
    TLoudnessService* Service() { return FService.get(); }

  private:
    // What the provider tells of an input.
    struct TInputPlace {
        TEntryId Id = kNoEntry;
        std::string Path;  // empty: nothing to measure
        TReplayGainMode SmartChoice = TReplayGainMode::Track;
        std::vector<std::string> Album;  // the album's files, Path among them
    };

    // TPlaylistListener: album tags, neighbours or rows changed.
    void AfterInsert(int, int) override { Replace(); }
    void AfterRemove(int, TEntryId) override { Replace(); }
    void AfterReset() override { Replace(); }
    void EntryChanged(int index) override;

    TInputPlace PlaceOf(TEntryId id) const;
    // Works out every input's place again; tells the sink when one changed.
    void Replace();
    TInputGainInfo Info(TAuInput& input);
    bool Measuring() const;
    TLoudnessService& StartService();

    TPlaylistModel* FList;
    TDXAudioOut& FOut;
    const TPlayOrder& FOrder;
    TLoudnessServiceOptions FOptions;
    std::mutex FLock;
    std::map<const TAuInput*, TInputPlace> FPlaces;  // under FLock; written on the GUI thread
    TEntryId FHeard = kNoEntry, FNext = kNoEntry;    // GUI thread: the last Ahead
    std::atomic<bool> FMeasuring{true};              // set on the GUI thread
    // Written once on the GUI thread, before the provider can see it; kept
    // until destruction.
    std::unique_ptr<TLoudnessService> FService;
    std::atomic<TLoudnessService*> FServiceSeen{nullptr};
};

}  // namespace quillet
