// The player under the window: what plays, in which order, and what is heard.
//
// Who owns what
// - TPlaylistModel (playlist_model.h): the entries, the selected and the
//   playing entry. The controller plays from one list, the set's playing
//   list (playlist_set.h): it reads it, selects in it, marks the entry
//   playing and follows its changes as a listener. The chain, the play
//   order and "stop after" follow that list only; the play queue may hold
//   entries of any list, and those of the playing list play.
// - TPlaybackController (this file): owns the sink (audOut, a TDXAudioOut),
//   the one input pool (input_pool.h), the gapless chain's side of the list
//   (which entry follows, given to the sink ahead), the play order
//   (play_order.h), the user's play queue (play_queue.h), the volume and
//   ReplayGain choice, the gain measured for untagged files
//   (measured_gain.h) and the output device's choice. The window's
//   handlers, the media-player interface on the bus, the time display and
//   the saved session all read and drive this one object.
// - Beside the window, each feature is a small service of its own that
//   listens to the model or to this object (tags and lengths, art, devices,
//   the find field, stream titles, the session); they read files, devices
//   and the network on their own threads and hand results back by id.
// - The window is a view: its handlers are thin calls into here, and it
//   shows what the listeners below tell.
//
// What is heard
// The sink hands the next track over a ring ahead of hearing it. Everything
// here follows the track heard (HeardEntry, Time, the playing mark): the next
// entry becomes the one playing when its first sample is heard. A seek while
// the end of the last track is still playing plays that end again from there.
// An edit that changes what should follow takes back what was given ahead
// and not begun on the device (the sink cuts its ring there), and the answer
// anew joins the heard track's end without a gap; a track whose first sample
// the device took is as good as heard, and the change acts on its end.
//
// A NOTE ON THREADS
// - GUI thread: every call here, every listener call, and the sink's events
//   (they reach the GUI thread through the dispatcher).
// - The sink's worker opens the inputs handed to it (those given ahead
//   too); the controller never waits for an open: the chain's answers
//   and cancellations take the sink's chain lock only for a moment.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "input_pool.h"
#include "measured_gain.h"
#include "paths.h"
#include "play_order.h"
#include "play_queue.h"
#include "playlist_model.h"
#include "playlist_set.h"
#include "sound_device.h"
#include "track_input.h"

namespace quillet {

// What the controller tells; every call on the GUI thread.
class TPlaybackListener {
  public:
    // The entry heard, or the playing state (playing, paused, stopped),
    // changed.
    virtual void PlaybackChanged() {}
    // The sink's progress event: Progress() moved.
    virtual void ProgressMoved() {}
    // Playback jumped to another position (a seek).
    virtual void Seeked() {}
    // How the list plays (repeat, shuffle, gain) or the volume changed.
    virtual void SettingsChanged() {}
    // A plain message for the user ("Format not supported").
    virtual void Message(const std::string& /*text*/) {}
    // A whole lap of the list gave no sound, or a stream failed (it could
    // not be reached, or stayed down after its reconnects): the error, to
    // show once. Playback has stopped.
    virtual void LapFailed(const std::string& /*error*/) {}
    // The play queue changed (positions too). It may come in the middle of
    // a list change: a view refreshes later, not from here.
    virtual void QueueChanged() {}
    // Playback fell back to the system default, or went back to the chosen
    // output device (DeviceState()).
    virtual void DeviceChanged() {}

  protected:
    ~TPlaybackListener() = default;
};

class TPlaybackController : private TPlaylistListener, private TPlaylistSetListener {
  public:
    // `sound` is the sink's sound system; null means SDL2. With one list,
    // or the set's lists (played from its playing list).
    explicit TPlaybackController(TPlaylistModel& list,
                                 std::shared_ptr<SoundSystem> sound = nullptr);
    explicit TPlaybackController(TPlaylistSet& lists, std::shared_ptr<SoundSystem> sound = nullptr);
    ~TPlaybackController();
    TPlaybackController(const TPlaybackController&) = delete;
    TPlaybackController& operator=(const TPlaybackController&) = delete;

    void AddListener(TPlaybackListener* listener);
    void RemoveListener(TPlaybackListener* listener);

    TDXAudioOut& Output() { return *FOut; }
    const TDXAudioOut& Output() const { return *FOut; }
    TInputPool& Inputs() { return FInputs; }
    // The list played from (the set's playing list).
    TPlaylistModel& List() { return *FList; }
    const TPlaylistModel& List() const { return *FList; }
    // Null without a set.
    TPlaylistSet* Lists() const { return FSet; }
    // The list Play, Next and Previous start from and the chain follows from
    // now on (the set's playing list becomes it). Entries given ahead from
    // the list before are taken back; the track heard plays on.
    void SetList(TPlaylistModel& list);

    // --- The transport. Errors of the sink ("Component is Busy") are raised.
    // Plays the selected entry from its start (nothing without a selection);
    // a file no input plays gives the message "Format not supported".
    void Play();
    // The window's Play: the shown list's selected entry (the shown list
    // becomes the one played from). Play without a set.
    void PlayShown();
    // Plays an entry `offset` flicks in (a restored position).
    void PlayEntry(TEntryId id, int64_t offset = 0);
    // A restored session's track: the entry is marked as the one playing,
    // held at `offset` flicks (its start when the file is shorter now), with
    // nothing playing: PlayPoint and Progress tell that place, and Play of
    // the entry continues there. Any track started, or Stop, drops it.
    void ResumePaused(TEntryId id, int64_t offset);
    // ResumePaused's entry while it holds, else kNoEntry.
    TEntryId ResumeEntry() const { return FList->Find(FResume.Id) ? FResume.Id : kNoEntry; }
    // The Pause button: a toggle of its own, not tied to the sink's state.
    void PauseButton();
    bool Paused() const { return FPaused; }
    void Stop();
    // The selection moves as Next and Previous move it (the play order), and
    // nothing plays; the buttons then Play. Without a selection they step
    // from the track heard (or where it was when it left the list), as the
    // end of a track does; with nothing heard either, Next selects the first
    // row.
    void SelectNext();
    void SelectPrevious();
    bool CanGoPrevious() const;
    void Next();
    void Previous();

    // --- Where in the track heard.
    // The sink's progress in whole percent (the position bar): what was
    // delivered, -1 for an unknown size.
    int Progress();
    // Moves by `delta` percent of the track (the position bar's drag).
    void SeekPercent(int delta);
    // Moves by `seconds` (back when negative), kept inside the track.
    void SeekBySeconds(int seconds);
    // Moves to `microseconds` from the track's start.
    void SeekTo(int64_t microseconds);

    // --- What is heard now.
    // The sink runs a track (its worker has taken the run).
    bool Active() const { return FOut->Active(); }
    // A track was started and has not ended or been stopped (the sink may
    // still be opening it).
    bool Playing() const { return !FHeard.Track.Path.empty(); }
    bool PausedNow() const { return FOut->PauseRequested(); }
    // The entry whose sound is heard (kNoEntry when nothing plays); it may
    // have left the list meanwhile: HeardTrack still tells its file.
    TEntryId HeardEntry() const { return FHeard.Id; }
    const TTrackRef& HeardTrack() const { return FHeard.Track; }
    // The frame heard in the heard track, its length and rate.
    TAuOutput::TPlayPoint PlayPoint() const;
    bool CanSeek() const;

    // --- Settings.
    // Attenuation in hundredths of a decibel: 0 full, 10000 silent.
    int Volume() const { return FVolume; }
    void SetVolume(int attenuation);
    TRepeat Repeat() const { return FOrder.Repeat(); }
    void SetRepeat(TRepeat mode);
    bool Shuffle() const { return FOrder.Shuffle(); }
    void SetShuffle(bool on);
    TReplayGainSetting ReplayGain() const { return FOut->ReplayGain(); }
    void SetReplayGain(const TReplayGainSetting& setting);
    // Files without gain tags, measured ahead (measured_gain.h).
    TMeasuredGain& MeasuredGain() { return *FGain; }
    // The sound stage's settings: the equalizer, the crossfade and the
    // transport's fades (dsp_stage.h); a track playing takes a change within
    // a block. Where a crossfade may go is the controller's call (join_rule.h).
    TDspStage& Dsp() { return FOut->Dsp(); }

    // --- The output device, by name ("" the system default); playback
    // moves to a new choice at once, keeping its place. DeviceNames asks
    // the sound system afresh, which may take seconds: the window asks it
    // on a worker.
    std::vector<std::string> DeviceNames() const { return FOut->DeviceNames(); }
    TDXAudioOut::TDeviceState DeviceState() const { return FOut->DeviceState(); }
    void SetDeviceName(const std::string& name);

    // --- The play queue: entries that play next, in the order queued, each
    // leaving it as it starts; then the play order resumes after the last
    // one played. It comes first in every mode but "stop after this track"
    // (which stops, keeping the queue); with "repeat track" the queued entry
    // plays next and is then the one repeated. Next goes to its head too.
    const TPlayQueue& Queue() const { return FPlayNext; }
    // Queues an entry of a list (of the set's, or the one played); nothing
    // for one in none or already queued. An entry leaves the queue when it
    // leaves its list.
    void Enqueue(TEntryId id);
    // Takes an entry out of the queue; nothing for one not queued.
    void Dequeue(TEntryId id);
    // The queue becomes `ids` (a restored session), those in the list.
    void SetQueue(const std::vector<TEntryId>& ids);

    // --- The sink's events (the sink calls these; tests that hook the sink
    // themselves call them too).
    void audOutDone();
    void audOutProgress();
    void NeedNext();
    void TrackChanged();

  private:
    struct THeard {
        TEntryId Id = kNoEntry;
        TTrackRef Track;
    };
    // An entry given to the sink ahead of its sound (waiting in the sink's
    // next-input slot, or handed over and not heard yet); Input nullptr
    // marks one that failed and was passed over. Not the user's play queue.
    struct TAhead {
        TEntryId Id;
        TTrackRef Track;
        TAuInput* Input;
        // The list changed what should follow after the device took this
        // entry's first sample: it plays, then what the change calls for.
        bool Overruled = false;
        // Where it was when it left the list (-1: it is in it); what follows
        // it then is what took its place.
        int GoneIndex = -1;
    };

    // TPlaylistSetListener
    void ShownChanged() override;
    void PlayingListChanged() override;
    void ListClosing(TPlaylistModel& list) override;
    void EntryRemoved(TPlaylistModel& list, TEntryId id) override;
    void ListReset(TPlaylistModel& list) override;
    // Plays from `list` from now on.
    void Rebind(TPlaylistModel& list);
    // Whether `id` is an entry of a list the queue may hold.
    bool Queueable(TEntryId id) const;
    // Drops queued entries that are in no list.
    void PurgeQueue();

    // TPlaylistListener
    void AfterInsert(int first, int count) override;
    void AfterRemove(int index, TEntryId id) override;
    void AfterReset() override;
    void SelectionChanged() override;
    void EntryChanged(int index) override;

    template <class F>
    void Tell(F&& f);
    // Starts a run of `track` (entry `id`); `byUser` starts a new lap count.
    void StartTrack(TEntryId id, const TTrackRef& track, int64_t offset, bool byUser);
    void SetHeard(TEntryId id, const TTrackRef& track);
    // A run of entry `id` gave no sound with `error`: unless the device
    // failed, the entry is marked failed. Returns the error to show: a format
    // refused for a file no input understood is told as the file's.
    std::string MarkFailed(TEntryId id, const std::string& error, TAuOutput::TFault fault);
    // The run of a stream ended with `error`: playback stops there.
    void StreamFailed(const std::string& error);
    void ClearHeard();
    // The row the end of the heard track leads to, after the entries already
    // given to the sink ahead; -1 when playback stops there.
    int NextRow();
    // The row of the play queue's first entry in the list; with
    // `skipHandedOver` the first not already given to the sink. -1 for none.
    int PlayNextRow(bool skipHandedOver) const;
    // Takes `id` out of the play queue as it starts.
    void Unqueue(TEntryId id);
    // What follows the heard track, as a place in the play order.
    TPlayOrder::TPlace HeardPlace() const;
    // The row Next and Previous step from.
    int StepFrom() const;
    void Answer();
    // The entry at `row` was just given to the sink ahead as `input`: a
    // crossfade into it unless it runs on from the track before it.
    void MarkJoin(int row, const TAuInput* input);
    // Before a stop the player asked for: the sound fades out (when fades
    // are on) rather than being cut mid-wave.
    void FadeOutHeard() { FOut->FadeOut(); }
    // The list, the selection or the way it plays changed: an entry given
    // ahead that no longer follows is replaced, one handed over is taken back.
    void FollowChanges();
    // The heard track again from where it is heard (or `offset`), dropping
    // what was given ahead after it.
    void ReplayHeard(int64_t offset);
    // Moves the track heard to `frame` (of `rate`).
    void SeekToFrame(int64_t frame, uint32_t rate);
    // The sink holds sound of a next track not heard yet.
    bool InTail() const { return FOut->TrackChangesPending() > 0; }
    int64_t HeardLengthFlicks() const;
    // A stream (an address) has no length: the seeks leave it alone, also
    // while a next track's sound is already held (no replay of its end).
    bool HeardIsStream() const { return IsUrl(FHeard.Track.Path); }

    TPlaylistModel* FList;
    TPlaylistSet* FSet = nullptr;
    std::vector<TPlaybackListener*> FListeners;
    TPlayOrder FOrder;
    TPlayQueue FPlayNext;
    TInputPool FInputs;  // before the sink: the sink goes first
    Owned<TDXAudioOut> FOut;
    std::unique_ptr<TMeasuredGain> FGain;  // goes before the sink it tells
    THeard FHeard;
    // Where the heard entry was when it left the list; what follows it then
    // is what took its place.
    int FGoneIndex = -1;
    std::deque<TAhead> FAhead;  // in the order the sink will play them
    bool FPaused = false;
    struct TResume {
        TEntryId Id = kNoEntry;
        int64_t Offset = 0;
    };
    TResume FResume;  // ResumePaused's place, until a track starts or stops
    int FVolume = 0;
    bool FChainStep = false;  // a run starts as the end-of-track step
    int FSilentRuns = 0;
    bool FSoundSinceStart = false;  // a run since the listener's last start gave sound
    int FFailedAnswers = 0;         // next entries in a row that could not be opened
};

}  // namespace quillet
