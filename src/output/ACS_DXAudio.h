// TDXAudioOut: the sink the player uses. Per run it opens the chosen device,
// creates a ring of FramesInBuffer frames in the source's own PCM format,
// fills the whole ring before it starts playing, then every PollingInterval
// ms tops it up with exactly as much PCM as there is room for. It reports
// underruns (OnUnderrun), drains the ring with silence when the source ends,
// and pauses and resumes the device together with the worker.
//
// It joins inputs without a gap (the chain of TAuOutput): a queued input of
// the run's PCM format is opened ahead, on the worker, and its first sample
// is written right after the last sample of the input before it, in the same
// ring; the track change is posted when the play cursor reaches it. The
// drain ends once the last sample has been played, and a seek drops what the
// ring holds beyond what the device has taken, so the new position is heard
// at once.
//
// Each input's loudness correction (its tags' gain under the ReplayGain
// setting) is scheduled on the ring from the input's first byte, so it
// starts exactly with the track; the ring applies it together with the
// volume (gain.h). For inputs without gain tags, and for smart mode's
// choice, the sink asks the player (SetInputGainProvider); an answer that
// changes later (a measurement done while the track plays) is taken with a
// short ramp.
//
// The sound stage (src/dsp) works on each block as it is read, before it
// is written: the equalizer, and the crossfade. A crossfade begins where a
// hand-over would, only earlier: when the current input has as much left
// as the overlap, the next one (if the player marked it, SetCrossfadeInto)
// becomes current and the old one is read on beside it, mixed under it
// until it ends. Both sides keep their own gain: over the overlap the ring
// plays at the larger of the two and the mix scales each side to its own.
// The transport's short fades (pause, resume, a seek, FadeOut before a
// stop) go through the ring's fade lane, so they begin with the next sound
// the device takes, not a ring later.
//
// The device is chosen by name (SetDeviceName) and looked up afresh each time
// a ring is opened, since devices come and go. A change during a run moves
// playback at once: the worker drops its ring, puts the input back to the
// sound last heard and opens a ring on the new device. A chosen device that
// is missing, fails or goes away gives way to the system default, with one
// OnDeviceChange; the worker looks for it about once a second and moves back
// when it is there again. The system's default device is never changed.
//
// A NOTE ON THREADS
// - Worker: PrepareOutput, OutputBlock, ReleaseOutput (the whole device cycle).
// - Main: construction, destruction, Pause, Resume, SetVolume and the
//   property setters (SetReplayGain among them); Pause/Resume/SetVolume
//   reach the ring while the worker may be inside a query or a write (the
//   ring accepts that). RefreshInputGain: any thread.
// - Main (any thread for the settings): Dsp()'s settings, SetCrossfadeInto,
//   FadeOut, FadeInNextRun.
// - The input gain provider runs on the worker.
// - The ring is created and released on the worker; FRingLock keeps the main
//   thread's calls from meeting a ring that is being created or released.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ACS_Classes.h"
#include "DSWrapper.h"
#include "dsp_stage.h"
#include "gain.h"
#include "sound_device.h"

namespace quillet {

// What the player knows of an input beyond its tags: measured gains, smart
// mode's choice (gain.h). Called on the worker whenever the sink works out
// an input's gain (run start, hand-over, a change of setting or a
// RefreshInputGain); it must answer at once from what it has (a lookup,
// never a measurement) and must not call the sink. An exception counts as
// "nothing known".
using TInputGainProvider = std::function<TInputGainInfo(TAuInput& Input)>;

class TDXAudioOut : public TAuOutput {
  public:
    // Plays through SDL2 audio.
    explicit TDXAudioOut(TComponent* owner = nullptr);
    // Plays through the given back-end (tests pass a simulated one).
    TDXAudioOut(TComponent* owner, std::shared_ptr<SoundSystem> system);
    ~TDXAudioOut() override;
    const char* ClassName() const override { return "TDXAudioOut"; }

    // Ring size in frames; ignored while the sink is Active.
    uint32_t FramesInBuffer() const { return FFramesInBuffer.load(); }
    void SetFramesInBuffer(uint32_t Value);
    // Milliseconds to wait before each free-space query.
    uint32_t PollingInterval() const { return FPollingInterval.load(); }
    void SetPollingInterval(uint32_t Value) { FPollingInterval = Value; }
    // Index into the device list; checked at the next run.
    int32_t DeviceNumber() const { return FDeviceNumber.load(); }
    void SetDeviceNumber(int32_t Value) { FDeviceNumber = Value; }
    // The devices found when first asked (any thread), in enumeration order.
    // Not at construction: listing loads and starts the sound library, which
    // a window about to show has no need of yet.
    const TOutputDeviceList& DeviceList() const;
    int32_t DeviceCount() const { return DeviceList().Count; }

    // Posted (main thread) after an underrun; playback goes on.
    void SetOnUnderrun(TUnderrunEvent h);

    // --- The device by name (main thread; dxaudio_device.cpp).
    // The output devices the sound system reports now, by name, in its order,
    // without the system default (the caller offers that itself). Listed
    // afresh on each call.
    std::vector<std::string> DeviceNames() const;
    // The device to play on, a name DeviceNames gave; empty (the default):
    // the system default, for which no name reaches the sound system, so the
    // sound server may move the stream and it follows the default. A name
    // overrides DeviceNumber. During a run the worker moves to it at once,
    // the position kept: it goes on from the sound heard when the input can
    // seek, else at most the ring's queued sound is lost.
    void SetDeviceName(const std::string& Name);
    std::string DeviceName() const;
    struct TDeviceState {
        std::string Chosen;     // as set; empty: the system default
        bool FellBack = false;  // Chosen is missing or failed: the default plays
        std::string Message;    // while FellBack: one line for the user
    };
    TDeviceState DeviceState() const;
    // Posted (main thread) when FellBack changes: once when playback falls
    // back to the default, once when it goes back to the chosen device.
    void SetOnDeviceChange(TNotifyEvent h);

    // Holds the worker, then halts the ring unless the source has ended (the
    // drain then simply plays out).
    void Pause() override;
    // Restarts the ring (unless the source has ended: it still plays), then
    // lets the worker go on.
    void Resume() override;
    // A pause this long (ms) lets go of a device that holds sound of its own
    // (its thread would wake for as long as it is open); the run takes a new
    // one when it goes on, from the sound heard.
    static constexpr uint32_t kParkAfterMs = 1000;
    // Attenuation in hundredths of a decibel (0 full, -10000 silent) for the
    // current ring; the value is also kept and given to every new ring, so a
    // run started after a track change plays at the volume last set. May
    // raise "Control not available".
    void SetVolume(int32_t Value);
    // Which of its gains each input plays by, and the pre-amp for inputs
    // without any (default: track, 0 dB). A run playing takes a change from
    // the next sound it writes, so it is heard once the ring's queued sound
    // has played (at most the ring's length).
    void SetReplayGain(const TReplayGainSetting& Value);
    TReplayGainSetting ReplayGain() const;
    // Main thread. Without a provider (the default) only tags count and
    // Smart plays as Track. Not asked while the mode is Off.
    void SetInputGainProvider(TInputGainProvider Provider);
    // Any thread: what the provider says of the input being written may
    // have changed (its measurement came in, the play order changed). Within
    // a polling interval the worker asks again; a new gain starts with the
    // input's first sample when that is not heard yet, otherwise from the
    // sound the device takes next, ramped over kGainRampMs.
    void RefreshInputGain() { ++FGainRefreshes; }
    static constexpr uint32_t kGainRampMs = 100;

    // --- The sound stage (dsp_stage.h): the equalizer's and the crossfade's
    // settings, taken by a run playing within a block. A sink starts with
    // the fades off (it plays exactly what it is given); the player turns
    // them on.
    TDspStage& Dsp() { return FDsp; }
    // Main thread: the queued input (QueueNext) to crossfade into when the
    // crossfade is on; any other joins sample for sample. nullptr: none.
    void SetCrossfadeInto(const TAuInput* Next) { FCrossfadeInto = Next; }
    // Main thread: fades the sound out from what the device takes next and
    // returns once that has been taken (at most the fade and a moment), for
    // a Stop that follows at once. Nothing when fades are off or nothing
    // plays. The ring stays silent until the run ends.
    void FadeOut();
    // Main thread: the next run fades in (it starts mid-track: a resumed
    // place, a seek made by starting again). Nothing when fades are off.
    void FadeInNextRun() { FFadeInNext = true; }

  protected:
    bool OutputBlock(bool Abort) override;
    void ReleaseOutput() override;
    void PrepareOutput() override;
    void WakeWorker() override { FSystem->Interrupt(); }
    int64_t QueuedBytes() const override { return FQueued.load(); }
    uint64_t PlayedBytes() const override { return FPlayedTotal.load(); }

  private:
    TUnderrunEvent UnderrunHandler() const;
    // Worker: PCM for the ring from the current input and, when it ends, from
    // a ready next input; sets FInputEnded when nothing more will follow.
    int32_t Fill(int32_t Bytes);
    // Worker: sleeps and queries until there is room; false after the
    // seventeenth query without room (the run's "Audio output error").
    bool WaitForRoom(uint32_t& Room);
    // Worker: after a seek, forgets the sound queued from the old position
    // (true when it did).
    bool DropIfSeeked();
    // Worker: posts the track changes the play cursor has reached.
    void PostHeardChanges();
    // Worker: RetractUnheard's request, if one came: the ring is cut where
    // the first input the device has not begun to take begins, and the input
    // before it ends the run's data there again. True when the ring was cut.
    bool TakeRetraction();
    // Worker: plays out what is queued, then halts; true when a retraction
    // made the run feed again instead.
    bool Drain();
    // Worker: the end of the data has been written.
    void MarkDataEnd();
    // Worker: publishes what the ring holds that is not heard yet.
    void NoteQueued() {
        FPlayedTotal = FDevice.PlayedTotal;
        FQueued = static_cast<int64_t>(FDevice.WrittenTotal - FDevice.PlayedTotal);
    }
    int64_t BytesPerSecond() const;
    // Worker: the current input's gain, scheduled from WrittenTotal position
    // From on.
    void ScheduleInputGain(uint64_t From);
    // Worker: after a SetReplayGain, the current input's gain anew for what
    // is written from now on; else a RefreshInputGain's.
    void TakeGainSetting();
    // Worker: the current input's factor under the setting, the provider's
    // answer included.
    double CurrentInputFactor();
    // Worker: after a RefreshInputGain, the current input's gain anew.
    void TakeRefreshedGain();
    // Worker: tells the equalizer the loudest sample now coming (its headroom).
    void TellPeak();
    // Worker: the stage over `Bytes` just read into FTransfer at `At`: the
    // outgoing side of a crossfade mixed in, then the effects.
    void Shape(int32_t At, int32_t Bytes);
    // Worker: bytes the current input may deliver before a crossfade into
    // the next one begins; -1 when none is due (not marked, not ready,
    // a length unknown, off).
    int64_t BytesBeforeCrossfade();
    // Worker: the overlap begins at FTransfer offset `At` (a hand-over that
    // keeps the old input); false when the next input went meanwhile.
    bool StartCrossfade(int32_t At);
    // Worker: the overlap ends at WrittenTotal position `End`; the ring
    // plays at the new input's own gain from there.
    void EndCrossfade(uint64_t End);
    // Bytes of a fade of `Ms` milliseconds in the run's format (whole frames).
    uint32_t FadeBytes(uint32_t Ms) const;

    // Worker, the device by name (dxaudio_device.cpp): opens the device to
    // play on into FDevice, the chosen one when it is listed and opens, else
    // the default ("Failed to create DirectSound device" without any).
    void OpenOutputDevice();
    // Worker: the ring on the open device, FRunFormat, at the volume set; on
    // the chosen device's failure the default's. The ring's result.
    TDSResult CreateOutputRing();
    // Worker: the device choice changed, the ring's device went, or the
    // missing chosen device is listed again.
    bool DeviceMoveWanted();
    // Worker: reopens the ring on the device to play on and leaves the next
    // step to fill it; false (the run's error posted) when no device opens.
    bool MoveDevice();
    // Worker: puts the input back to the sound heard, so a new ring goes on
    // from there; inputs handed over and not heard are taken back (the one
    // before them goes on), or, when that cannot be, count as heard.
    void RewindToHeard();
    // Worker, while paused: a device that holds sound keeps SDL's thread
    // awake; after kParkAfterMs of pause its ring is released (Park), the
    // input put back to the sound heard, and a new one opened when the run
    // goes on (Unpark). A paused player then has no thread waking.
    uint32_t ParkAfterMs() override;
    void Park() override;
    // Worker: reopens after Park; false (the run's error posted) when no
    // device opens.
    bool Unpark();
    // Worker: the outcome of an open for DeviceState (posts the change).
    void SettleDeviceState(const std::string& Chosen, bool OnChosen);
    // Any thread: the first listed device of this name.
    bool FindDevice(const std::string& Name, TDeviceGuid& Id) const;

    std::shared_ptr<SoundSystem> FSystem;  // immutable
    std::atomic<bool> FReleased{false};
    std::atomic<uint32_t> FFramesInBuffer{65536};
    std::atomic<uint32_t> FPollingInterval{200};
    DSoundWrapper FDevice;                  // worker; main through FRingLock
    std::mutex FRingLock;                   // ring creation/release vs main-thread calls
    mutable TOutputDeviceList FDeviceList;  // written once, under FListed
    mutable std::once_flag FListed;
    std::atomic<int32_t> FDeviceNumber{0};
    // Worker only:
    int32_t FOutChannels = 0;
    int32_t FOutRate = 0;
    int32_t FOutBits = 0;
    bool FFirstFill = false;
    std::vector<uint8_t> FTransfer;
    int32_t FTransferSize = 0;
    uint8_t FSilence = 0;
    int32_t FUnderrunsSeen = 0;
    bool FSourceDone = false;          // the current input has no more data
    uint32_t FSeekSeen = 0;            // the current input's SeekCount last acted on
    uint64_t FDataEnd = 0;             // WrittenTotal after the last sample of the run
    std::deque<uint64_t> FBoundaries;  // WrittenTotal where handed-over inputs begin
    uint64_t FCrossfadeBoundary = 0;   // the last of them that a crossfade began at
    double FInputGain = 1.0;           // the current input's gain factor
    double FInputPeak = 0;             // its tags' (or measured) peak; 0 unknown
    // The crossfade under way (FOverlapLength 0: none), in frames:
    int64_t FOverlapLength = 0;
    int64_t FOverlapAt = 0;
    int64_t FPlannedOverlap = 0;  // for the next input, once worked out
    bool FHoldForAnswer = false;  // BytesBeforeCrossfade stopped short for the answer
    double FOutGain = 1.0;        // the outgoing input's gain factor
    double FMixGain = 1.0;        // the ring's over the overlap
    uint64_t FMixEnd = 0;         // WrittenTotal where the last overlap ended
    std::vector<uint8_t> FMix;    // the outgoing side's block
    TDspStage FDsp;               // its settings: any thread; its run: worker
    std::atomic<const TAuInput*> FCrossfadeInto{nullptr};
    std::atomic<bool> FFadeInNext{false};
    // Bytes per second of the run's ring (0: none), for the main thread's fades.
    std::atomic<int64_t> FRingBytesPerSecond{0};
    std::atomic<uint32_t> FRingFrameBytes{0};
    bool FAnswerDue = false;  // the ring was cut back: the next answer comes at once
    // A source with BufferedBytes: below this much queued sound the sink
    // asks it for all it has room for (the source then bridges a gap), and
    // while less than a second is queued it is topped up this often.
    static constexpr int64_t kLowSoundMs = 100;
    static constexpr uint32_t kThinPollMs = 40;
    bool FTakeAll = false;                  // this fill asks such a source for all it has room for
    std::atomic<int64_t> FQueued{0};        // written by the worker, read by the main thread
    std::atomic<uint64_t> FPlayedTotal{0};  // the same
    // Written by the worker, read by the main thread:
    std::atomic<bool> FInputEnded{false};
    // Main thread; read by the worker under FRingLock when a ring is created.
    std::atomic<int32_t> FVolume{0};
    // Main thread; read by the worker at each run start, hand-over and
    // change of setting.
    std::atomic<TReplayGainMode> FGainMode{TReplayGainMode::Track};
    std::atomic<double> FPreampDb{0};
    // Bumped by each SetReplayGain, after the values; the worker's copy is
    // the count its current gain was worked out with.
    std::atomic<uint32_t> FGainSettings{0};
    uint32_t FGainSettingsSeen = 0;
    // Bumped by RefreshInputGain; the worker's copy is the count its
    // current gain was worked out with.
    std::atomic<uint32_t> FGainRefreshes{0};
    uint32_t FGainRefreshesSeen = 0;
    mutable std::mutex FHandlerLock;
    TUnderrunEvent FOnUnderrun;        // under FHandlerLock
    TInputGainProvider FGainProvider;  // under FHandlerLock
    TNotifyEvent FOnDeviceChange;      // under FHandlerLock
    TDeviceState FDeviceState;         // under FHandlerLock; Chosen is the choice
    // Bumped by each SetDeviceName that changes the choice; the worker's copy
    // is the choice its ring was opened for.
    std::atomic<uint32_t> FDeviceChanges{0};
    // Worker only:
    uint32_t FDeviceChangesSeen = 0;
    TWaveFormat FRunFormat;
    bool FParked = false;        // the ring was released for a pause
    bool FOnChosen = false;      // the ring plays on the chosen named device
    bool FChosenListed = false;  // at the last open, the chosen device was listed
    int32_t FRetrySteps = 0;     // steps since the missing device was looked for
};

}  // namespace quillet
