#include "playback_controller.h"

#include <algorithm>

#include "content_sniff.h"
#include "entry_info.h"
#include "join_rule.h"

namespace quillet {

namespace {

constexpr int64_t kMicro = 1000000;

// Flicks from microseconds and back, saturating.
int64_t FlicksOfMicros(int64_t us) {
    if (us <= 0) return 0;
    const __int128 v = static_cast<__int128>(us) * (kFlicksPerSecond / kMicro);
    return v > INT64_MAX ? INT64_MAX : static_cast<int64_t>(v);
}

}  // namespace

TPlaybackController::TPlaybackController(TPlaylistSet& lists, std::shared_ptr<SoundSystem> sound)
    : TPlaybackController(lists.Playing(), std::move(sound)) {
    FSet = &lists;
    FSet->AddListener(this);
}

TPlaybackController::TPlaybackController(TPlaylistModel& list, std::shared_ptr<SoundSystem> sound)
    : FList(&list),
      // An input handed over stays busy until its sound is heard: the chain
      // tells its tracks (and their failures) apart by input.
      FInputs([this](const TAuFileIn* in) {
          return (FOut && FOut->Holds(in)) ||
                 std::any_of(FAhead.begin(), FAhead.end(),
                             [in](const TAhead& q) { return q.Input == in; });
      }),
      FOut(sound ? MakeOwned<TDXAudioOut>(nullptr, std::move(sound))
                 : MakeOwned<TDXAudioOut>(nullptr)) {
    FOut->SetDeviceNumber(0);
    FOut->SetFramesInBuffer(65536);
    FOut->SetPollingInterval(200);
    FOut->Dsp().Crossfade().Set(TCrossfadeSettings{});  // the player's defaults: fades on
    // MP3's input when there is one; otherwise the first there is, so Pause
    // on an idle output finds an input as it would with MP3's.
    TAuFileIn* initial = FInputs.First(TInputKind::ikMP3);
    for (size_t k = 0; initial == nullptr && k < kInputKindCount; ++k)
        initial = FInputs.First(static_cast<TInputKind>(k));
    FOut->SetInput(initial);
    FOut->SetOnDone([this](TComponent*) { audOutDone(); });
    FOut->SetOnProgress([this](TComponent*) { audOutProgress(); });
    FOut->SetOnNeedNext([this](TComponent*) { NeedNext(); });
    FOut->SetOnTrackChange([this](TComponent*) { TrackChanged(); });
    FOut->SetOnDeviceChange(
        [this](TComponent*) { Tell([](TPlaybackListener& l) { l.DeviceChanged(); }); });
    FOrder.Reset(FList->Count());
    FList->AddListener(this);
    FGain = std::make_unique<TMeasuredGain>(*FList, *FOut, FOrder);
}

TPlaybackController::~TPlaybackController() {
    if (FSet != nullptr) FSet->RemoveListener(this);
    FList->RemoveListener(this);
    // The worker must be idle, and no event of it pending, before what its
    // handlers touch goes away.
    try {
        FOut->SetOnDone({});
        FOut->SetOnProgress({});
        FOut->SetOnNeedNext({});
        FOut->SetOnTrackChange({});
        FOut->SetOnDeviceChange({});
        FOut->Stop(false);
    } catch (...) {
    }
    FGain.reset();
    FOut.reset();
}

void TPlaybackController::AddListener(TPlaybackListener* listener) {
    FListeners.push_back(listener);
}

void TPlaybackController::RemoveListener(TPlaybackListener* listener) {
    std::erase(FListeners, listener);
}

template <class F>
void TPlaybackController::Tell(F&& f) {
    const std::vector<TPlaybackListener*> listeners = FListeners;
    for (TPlaybackListener* l : listeners)
        if (std::find(FListeners.begin(), FListeners.end(), l) != FListeners.end()) f(*l);
}

// --- The list played from

void TPlaybackController::SetList(TPlaylistModel& list) {
    if (FSet != nullptr && FSet->IndexOf(list) >= 0) {
        FSet->SetPlaying(FSet->IndexOf(list));  // PlayingListChanged rebinds
        return;
    }
    Rebind(list);
}

void TPlaybackController::PlayShown() {
    if (FSet != nullptr) SetList(FSet->Shown());
    Play();
}

void TPlaybackController::ShownChanged() {
    // While nothing plays or is held, the list shown is the one played from.
    if (!Playing() && ResumeEntry() == kNoEntry) SetList(FSet->Shown());
}

void TPlaybackController::PlayingListChanged() {
    Rebind(FSet->Playing());
}

void TPlaybackController::Rebind(TPlaylistModel& list) {
    if (&list == FList) return;
    FList->RemoveListener(this);
    // The list left keeps no playing mark unless its entry is still heard.
    if (FList->PlayingId() != FHeard.Id) FList->SetPlaying(kNoEntry);
    FList = &list;
    FList->AddListener(this);
    FOrder.Reset(FList->Count());
    // The heard entry is not in this list: what follows it is this list's
    // selection, or its first row.
    FGoneIndex = FList->IndexOf(FHeard.Id) >= 0 ? -1 : 0;
    FResume = {};
    FGain->SetList(*FList);
    FollowChanges();
    Tell([](TPlaybackListener& l) { l.PlaybackChanged(); });
}

void TPlaybackController::ListClosing(TPlaylistModel& list) {
    // Its entries leave the queue; what plays from it stops.
    std::vector<TEntryId> gone;
    for (const TEntryId id : FPlayNext.Ids())
        if (list.IndexOf(id) >= 0) gone.push_back(id);
    for (const TEntryId id : gone) Unqueue(id);
    if (&list != FList) return;
    if (Playing() && list.IndexOf(FHeard.Id) >= 0) Stop();
    FResume = {};
}

void TPlaybackController::EntryRemoved(TPlaylistModel& list, TEntryId id) {
    if (&list != FList) Unqueue(id);
}

void TPlaybackController::ListReset(TPlaylistModel& list) {
    if (&list != FList) PurgeQueue();
}

bool TPlaybackController::Queueable(TEntryId id) const {
    if (FList->IndexOf(id) >= 0) return true;
    return FSet != nullptr && FSet->ListOfEntry(id) >= 0;
}

void TPlaybackController::PurgeQueue() {
    std::vector<TEntryId> gone;
    for (const TEntryId id : FPlayNext.Ids())
        if (!Queueable(id)) gone.push_back(id);
    for (const TEntryId id : gone) Unqueue(id);
}

// --- Transport

void TPlaybackController::Play() {
    const int index = FList->Selected();
    if (index < 0) return;
    const TEntry& entry = (*FList)[static_cast<size_t>(index)];
    Unqueue(entry.Id);
    const int64_t offset = entry.Id == FResume.Id ? FResume.Offset : 0;
    StartTrack(entry.Id, TrackOf(entry), offset, !FChainStep);
}

void TPlaybackController::ResumePaused(TEntryId id, int64_t offset) {
    if (FList->Find(id) == nullptr) return;
    Stop();
    FResume = {id, std::max<int64_t>(offset, 0)};
    FList->SetPlaying(id);
    EntryChanged(FList->IndexOf(id));
    Tell([](TPlaybackListener& l) { l.PlaybackChanged(); });
}

TAuOutput::TPlayPoint TPlaybackController::PlayPoint() const {
    const TEntry* entry = FList->Find(FResume.Id);
    if (entry == nullptr || FOut->Active()) return FOut->PlayPoint();
    // The restored place, in milliseconds.
    constexpr uint32_t kRate = 1000;
    TAuOutput::TPlayPoint point;
    point.Rate = kRate;
    point.Frame = FlicksToFrames(FResume.Offset, kRate);
    if (entry->Info.LengthFlicks > 0)
        point.Length = FlicksToFrames(entry->Info.LengthFlicks, kRate);
    point.Estimated = entry->Info.LengthEstimated;
    return point;
}

void TPlaybackController::EntryChanged(int index) {
    // The restored entry's length is read after it was restored: a place
    // past the end of a file that changed meanwhile is its start.
    if (index < 0 || (*FList)[static_cast<size_t>(index)].Id != FResume.Id) return;
    const int64_t length = (*FList)[static_cast<size_t>(index)].Info.LengthFlicks;
    if (length > 0 && FResume.Offset >= length) FResume.Offset = 0;
    Tell([](TPlaybackListener& l) { l.ProgressMoved(); });
}

void TPlaybackController::PlayEntry(TEntryId id, int64_t offset) {
    const TEntry* entry = FList->Find(id);
    if (entry == nullptr) return;
    Unqueue(id);
    StartTrack(id, TrackOf(*entry), offset, true);
}

void TPlaybackController::StartTrack(TEntryId id, const TTrackRef& track, int64_t offset,
                                     bool byUser) {
    FadeOutHeard();
    // Starting mid-track (a resumed place, a seek made by starting again)
    // fades in; a track's own start is heard as it is.
    if (offset > 0) FOut->FadeInNextRun();
    FOut->Stop(false);
    FAhead.clear();
    FResume = {};
    FFailedAnswers = 0;
    if (byUser) {
        FSilentRuns = 0;
        FSoundSinceStart = false;
    }
    FOrder.Started(FList->IndexOf(id));
    ClearHeard();
    TAuFileIn* input = FInputs.OpenTrack(track, offset);
    if (input == nullptr) {
        Tell([](TPlaybackListener& l) { l.Message(kFormatNotSupported); });
        return;
    }
    FGain->Opened(input, id);
    FOut->SetInput(input);
    FOut->Start();
    SetHeard(id, track);
}

void TPlaybackController::SetHeard(TEntryId id, const TTrackRef& track) {
    FHeard = {id, track};
    FGoneIndex = -1;
    FList->SetPlaying(id);
    const int next = NextRow();
    FGain->Ahead(id, FList->Contains(next) ? (*FList)[static_cast<size_t>(next)].Id : kNoEntry);
    Tell([](TPlaybackListener& l) { l.PlaybackChanged(); });
}

void TPlaybackController::ClearHeard() {
    FHeard = {};
    FGoneIndex = -1;
    FList->SetPlaying(kNoEntry);
    FGain->Ahead(kNoEntry, kNoEntry);
    Tell([](TPlaybackListener& l) { l.PlaybackChanged(); });
}

void TPlaybackController::PauseButton() {
    if (!FPaused) {
        FPaused = true;
        FOut->Pause();
    } else {
        FPaused = false;
        FOut->Resume();
    }
    Tell([](TPlaybackListener& l) { l.PlaybackChanged(); });
}

void TPlaybackController::Stop() {
    FadeOutHeard();
    FOut->Stop(false);
    FAhead.clear();
    FResume = {};
    ClearHeard();
}

int TPlaybackController::StepFrom() const {
    // Without a selection (a delete took it) Next and Previous step from the
    // track heard, as the end of a track does: the two never disagree.
    const int selected = FList->Selected();
    if (selected >= 0 || FHeard.Id == kNoEntry) return selected;
    return HeardPlace().Selected;
}

void TPlaybackController::SelectNext() {
    const int queued = PlayNextRow(false);
    FList->Select(queued >= 0 ? queued : FOrder.Next(StepFrom()));
}

void TPlaybackController::SelectPrevious() {
    // In the list's order, with no selection and nothing heard this asks for
    // row -2: nothing gets selected.
    FList->Select(FOrder.Previous(StepFrom()));
}

bool TPlaybackController::CanGoPrevious() const {
    return FOrder.CanGoPrevious(StepFrom());
}

void TPlaybackController::Next() {
    SelectNext();
    Play();
}

void TPlaybackController::Previous() {
    SelectPrevious();
    Play();
}

// --- Position

int TPlaybackController::Progress() {
    const TAuOutput::TPlayPoint point = PlayPoint();
    if (FResume.Id == kNoEntry || FOut->Active() || point.Length <= 0) return FOut->Progress();
    return static_cast<int>(std::clamp<int64_t>(point.Frame * 100 / point.Length, 0, 100));
}

int64_t TPlaybackController::HeardLengthFlicks() const {
    const TAuOutput::TPlayPoint point = FOut->PlayPoint();
    return point.Rate == 0 || point.Length < 0 ? -1 : FramesToFlicks(point.Length, point.Rate);
}

bool TPlaybackController::CanSeek() const {
    if (!FOut->Active() || HeardIsStream()) return false;
    const auto* input = dynamic_cast<const TAuStreamedInput*>(FOut->Input());
    return input != nullptr && input->CanSeek() && HeardLengthFlicks() > 0;
}

void TPlaybackController::SeekPercent(int delta) {
    if (HeardIsStream()) return;
    if (InTail()) {
        // The bar counts what was delivered, 100 once the end is: the move is
        // from there, in the track heard.
        const int64_t length = HeardLengthFlicks();
        if (length <= 0) return;
        const double f = std::clamp((100.0 + delta) / 100.0, 0.0, 1.0);
        ReplayHeard(static_cast<int64_t>(static_cast<double>(length) * f));
        return;
    }
    if (TAuInput* input = FOut->Input()) input->SeekPercent(delta);
    Tell([](TPlaybackListener& l) { l.Seeked(); });
}

void TPlaybackController::SeekBySeconds(int seconds) {
    if (!FOut->Active() || FOut->Input() == nullptr || HeardIsStream()) return;
    // In frames, so a step lands exactly where it says.
    const TAuOutput::TPlayPoint point = FOut->PlayPoint();
    if (point.Rate == 0 || point.Frame < 0) return;
    int64_t target = std::max<int64_t>(0, point.Frame + int64_t{seconds} * point.Rate);
    if (point.Length >= 0) target = std::min(target, point.Length);
    SeekToFrame(target, point.Rate);
}

void TPlaybackController::SeekTo(int64_t microseconds) {
    if (!FOut->Active() || HeardIsStream()) return;
    const uint32_t rate = FOut->PlayPoint().Rate;
    if (rate == 0) return;
    SeekToFrame(FlicksToFrames(FlicksOfMicros(microseconds), rate), rate);
}

void TPlaybackController::SeekToFrame(int64_t frame, uint32_t rate) {
    if (InTail()) {
        ReplayHeard(FramesToFlicks(frame, rate));
        return;
    }
    TAuInput* input = FOut->Input();
    if (input == nullptr) return;
    input->GoToSample(frame);
    Tell([](TPlaybackListener& l) { l.Seeked(); });
}

void TPlaybackController::ReplayHeard(int64_t offset) {
    const THeard heard = FHeard;
    const int gone = FGoneIndex;
    if (heard.Track.Path.empty()) return;
    StartTrack(heard.Id, heard.Track, offset, false);
    // An entry that left the list plays on without a row, and what follows
    // it is still what took its place.
    FGoneIndex = gone;
    Tell([](TPlaybackListener& l) { l.Seeked(); });
}

// --- Settings

void TPlaybackController::SetVolume(int attenuation) {
    attenuation = std::clamp(attenuation, 0, 10000);
    const bool changed = attenuation != FVolume;
    FVolume = attenuation;
    FOut->SetVolume(-attenuation);
    if (changed) Tell([](TPlaybackListener& l) { l.SettingsChanged(); });
}

void TPlaybackController::SetRepeat(TRepeat mode) {
    if (mode == FOrder.Repeat()) return;
    FOrder.SetRepeat(mode);
    FollowChanges();  // the track queued to follow may no longer be the one
    Tell([](TPlaybackListener& l) { l.SettingsChanged(); });
}

void TPlaybackController::SetShuffle(bool on) {
    if (on == FOrder.Shuffle()) return;
    // The track playing counts as played in the new lap.
    FOrder.SetShuffle(on, FList->IndexOf(HeardEntry()));
    FollowChanges();
    FGain->SettingsChanged();
    Tell([](TPlaybackListener& l) { l.SettingsChanged(); });
}

void TPlaybackController::SetReplayGain(const TReplayGainSetting& setting) {
    FOut->SetReplayGain(setting);
    FGain->SettingsChanged();
    Tell([](TPlaybackListener& l) { l.SettingsChanged(); });
}

void TPlaybackController::SetDeviceName(const std::string& name) {
    FOut->SetDeviceName(name);
}

// --- The sink's events

void TPlaybackController::audOutProgress() {
    Tell([](TPlaybackListener& l) { l.ProgressMoved(); });
}

void TPlaybackController::audOutDone() {
    FAhead.clear();
    std::string error = FOut->LastError();
    if (HeardIsStream() && !error.empty()) return StreamFailed(error);
    if (FOut->ProducedSound()) {
        FSilentRuns = 0;
        FSoundSinceStart = true;
    } else {
        ++FSilentRuns;
        error = MarkFailed(FHeard.Id, error, FOut->LastFault());
    }
    const int row = NextRow();
    const bool silentLap = FSilentRuns > 0 && FSilentRuns >= FOrder.LapLength();
    if (silentLap || (row < 0 && !FSoundSinceStart)) {
        // A whole lap without sound: say why once, and stop going round.
        FSilentRuns = 0;
        ClearHeard();
        if (!error.empty()) Tell([&](TPlaybackListener& l) { l.LapFailed(error); });
        return;
    }
    if (!FList->Contains(row)) {
        ClearHeard();  // the listener asked to stop here, or nothing is left
        return;
    }
    FList->Select(row);
    struct TStep {
        bool& Flag;
        ~TStep() { Flag = false; }
    } step{FChainStep = true};
    Play();
}

void TPlaybackController::StreamFailed(const std::string& error) {
    // A station that cannot be reached, or stays down after its reconnects,
    // is said once; playing another row instead would hide that it is gone.
    if (!FOut->ProducedSound()) MarkFailed(FHeard.Id, error, FOut->LastFault());
    FSilentRuns = 0;
    ClearHeard();
    Tell([&](TPlaybackListener& l) { l.LapFailed(error); });
}

std::string TPlaybackController::MarkFailed(TEntryId id, const std::string& error,
                                            TAuOutput::TFault fault) {
    const TEntry* entry = FList->Find(id);
    if (error.empty() || entry == nullptr || fault == TAuOutput::TFault::Device) return error;
    TEntryInfo info = entry->Info;
    if (fault == TAuOutput::TFault::Format) {
        // The file's fault unless reading it found a format (then the device
        // would not take it); said as reading it found, if it did.
        if (info.State == TEntryState::Playable) return error;
        if (info.State != TEntryState::Failed || info.Error.empty()) info.Error = kNotUnderstood;
    } else {
        info.Error = error;
    }
    info.State = TEntryState::Failed;
    FList->SetInfo(id, info);
    return info.Error;
}

TPlayOrder::TPlace TPlaybackController::HeardPlace() const {
    const int playing = FList->IndexOf(FHeard.Id);
    int selected = FList->Selected();
    // Without a selection (it went with a removed row) the list goes on
    // after the entry heard, or from where it was when it left the list.
    if (selected < 0) selected = playing >= 0 ? playing : FGoneIndex >= 0 ? FGoneIndex - 1 : -1;
    return {selected, playing};
}

int TPlaybackController::NextRow() {
    if (FOrder.Repeat() != TRepeat::StopAfterTrack)
        if (const int queued = PlayNextRow(true); queued >= 0) return queued;
    std::vector<int> pending;
    int last = -1;
    for (const TAhead& q : FAhead) {
        const int row = FList->IndexOf(q.Id);
        if (row >= 0) pending.push_back(row);
        last = row >= 0 ? row : q.GoneIndex >= 0 ? q.GoneIndex - 1 : -1;
    }
    TPlayOrder::TPlace at = FAhead.empty() ? HeardPlace() : TPlayOrder::TPlace{last, last};
    // After an entry the list's change came too late for, the selection
    // leads again.
    if (!FAhead.empty() && FAhead.back().Overruled && FList->Selected() >= 0)
        at.Selected = FList->Selected();
    return FOrder.AfterTrack(at, pending);
}

void TPlaybackController::Answer() {
    if (FList->empty() || FFailedAnswers >= std::max(FList->Count(), 1)) {
        FOut->QueueNext(nullptr);
        return;
    }
    const int row = NextRow();
    if (!FList->Contains(row)) {
        FOut->QueueNext(nullptr);  // the way the list plays ends here
        return;
    }
    const TEntry& entry = (*FList)[static_cast<size_t>(row)];
    if (IsUrl(entry.FilePath)) {
        // A stream is never opened ahead: that would connect and fill its
        // buffer while the track before still plays. The run ends here and
        // the end-of-track step starts the stream when it is reached.
        FOut->QueueNext(nullptr);
        return;
    }
    const TTrackRef track = TrackOf(entry);
    TAuFileIn* input = FInputs.OpenTrack(track);
    if (input == nullptr) {
        // The run ends here; the end-of-track step then meets the entry
        // itself (and says "Format not supported" as it always did).
        FOut->QueueNext(nullptr);
        return;
    }
    FGain->Opened(input, entry.Id);
    MarkJoin(row, input);
    FAhead.push_back({entry.Id, track, input});
    FOut->QueueNext(input);
}

void TPlaybackController::MarkJoin(int row, const TAuInput* input) {
    // What the new one follows: the last given ahead, else the track heard.
    const int from = FList->IndexOf(FAhead.empty() ? FHeard.Id : FAhead.back().Id);
    const bool queued = PlayNextRow(true) == row;
    FOut->SetCrossfadeInto(!queued && GaplessJoin(*FList, from, row) ? nullptr : input);
}

void TPlaybackController::NeedNext() {
    // Taken back by the sink: no longer ahead. Several changes in a row may
    // take back and ask more than once; one answer serves them all.
    while (TAuInput* retracted = FOut->TakeRetracted())
        std::erase_if(FAhead, [retracted](const TAhead& q) { return q.Input == retracted; });
    // Inputs passed over since the last answer: their entries failed, and
    // the answer names the one after them.
    while (std::optional<TAuOutput::TFailedNext> failed = FOut->TakeFailedNext()) {
        for (TAhead& q : FAhead) {
            if (q.Input != failed->Input) continue;
            q.Input = nullptr;
            if (const TEntry* entry = FList->Find(q.Id)) {
                TEntryInfo info = entry->Info;
                info.State = TEntryState::Failed;
                info.Error = failed->Error;
                FList->SetInfo(q.Id, info);
            }
            ++FFailedAnswers;
            Unqueue(q.Id);  // tried: the queue moves on
            break;
        }
    }
    if (!FOut->AwaitingNext()) return;  // answered already
    Answer();
}

void TPlaybackController::TrackChanged() {
    TAuInput* heard = FOut->TakeHeardInput();
    while (!FAhead.empty()) {
        const TAhead q = FAhead.front();
        FAhead.pop_front();
        if (heard != nullptr && q.Input != heard) continue;  // dropped before its turn
        FFailedAnswers = 0;
        // Before the selection moves: what follows it is asked anew then.
        Unqueue(q.Id);
        const int row = FList->IndexOf(q.Id);
        if (row >= 0) {
            FOrder.Started(row);
            // The end-of-track step's selection, now that the entry is heard;
            // a selection made too late to change this entry stays, and
            // leads at its end.
            if (!q.Overruled) FList->Select(row);
        }
        SetHeard(q.Id, q.Track);
        if (row < 0) FGoneIndex = q.GoneIndex;
        return;
    }
}

// --- The play queue

void TPlaybackController::Enqueue(TEntryId id) {
    if (!Queueable(id) || !FPlayNext.Add(id)) return;
    Tell([](TPlaybackListener& l) { l.QueueChanged(); });
    FollowChanges();
}

void TPlaybackController::Dequeue(TEntryId id) {
    if (!FPlayNext.Remove(id)) return;
    Tell([](TPlaybackListener& l) { l.QueueChanged(); });
    FollowChanges();  // it may be the next track handed over already
}

void TPlaybackController::SetQueue(const std::vector<TEntryId>& ids) {
    TPlayQueue queue;
    for (const TEntryId id : ids)
        if (Queueable(id)) queue.Add(id);
    if (queue.Ids() == FPlayNext.Ids()) return;
    FPlayNext = std::move(queue);
    Tell([](TPlaybackListener& l) { l.QueueChanged(); });
    FollowChanges();
}

void TPlaybackController::Unqueue(TEntryId id) {
    if (FPlayNext.Remove(id)) Tell([](TPlaybackListener& l) { l.QueueChanged(); });
}

int TPlaybackController::PlayNextRow(bool skipHandedOver) const {
    for (const TEntryId id : FPlayNext.Ids()) {
        const int row = FList->IndexOf(id);
        if (row < 0) continue;
        if (skipHandedOver &&
            std::any_of(FAhead.begin(), FAhead.end(), [id](const TAhead& q) { return q.Id == id; }))
            continue;
        return row;
    }
    return -1;
}

// --- Following the list

void TPlaybackController::FollowChanges() {
    if (FAhead.empty()) return;
    const TAuInput* queued = FOut->QueuedNext();
    if (InTail()) {
        // Handed over and not heard yet: is it still what follows the track
        // heard? If not, the sink takes back all it was given ahead that the
        // device has not begun, and asks anew for what follows (NeedNext).
        std::deque<TAhead> queue;
        queue.swap(FAhead);
        const int row = NextRow();
        FAhead.swap(queue);
        for (const TAhead& q : FAhead) {
            if (q.Input == nullptr) continue;  // passed over
            if (q.Input == queued) break;      // still only queued: below
            if (q.Overruled) break;            // begun already: what follows it counts
            if (row < 0 || row != FList->IndexOf(q.Id)) {
                // Whatever the sink cannot take back any more is marked, so
                // the change acts on its end instead.
                for (TAhead& a : FAhead) a.Overruled = true;
                FOut->RetractUnheard();
                return;
            }
            break;
        }
    }
    if (queued == nullptr || FAhead.back().Input != queued) return;
    const TAhead mine = FAhead.back();
    FAhead.pop_back();
    const int row = NextRow();
    if (row >= 0 && row == FList->IndexOf(mine.Id)) {
        FAhead.push_back(mine);
        return;
    }
    if (!FOut->CancelNext()) {
        FAhead.push_back(mine);  // handed over meanwhile: the tail check applies
        return;
    }
    if (FOut->AwaitingNext()) Answer();
}

void TPlaybackController::AfterInsert(int first, int count) {
    FOrder.Inserted(first, count);
    // The heard entry back in the list (an undone removal) is found by id.
    if (FList->IndexOf(FHeard.Id) >= 0) {
        FGoneIndex = -1;
    } else if (FGoneIndex >= first) {
        FGoneIndex += count;
    }
    FollowChanges();
}

void TPlaybackController::AfterRemove(int index, TEntryId id) {
    FOrder.Removed(index);
    if (id == FHeard.Id) FGoneIndex = index;
    Unqueue(id);
    if (FGoneIndex > index) --FGoneIndex;
    for (TAhead& q : FAhead) {
        if (q.Id == id) q.GoneIndex = index;
        if (q.GoneIndex > index) --q.GoneIndex;
    }
    FollowChanges();
}

void TPlaybackController::AfterReset() {
    FOrder.Reset(FList->Count());
    if (FHeard.Id != kNoEntry) FGoneIndex = FList->IndexOf(FHeard.Id) >= 0 ? -1 : 0;
    // The entries that went leave the queue; those of other lists stay.
    PurgeQueue();
    FollowChanges();
}

void TPlaybackController::SelectionChanged() {
    // The entry after the selection follows the one playing.
    FollowChanges();
}

}  // namespace quillet
