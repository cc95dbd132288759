// The pipeline core: sources (TAuInput -> TAuStreamedInput -> TAuFileIn),
// sinks (TAuOutput and its worker TAuThread), the event dispatcher
// (TEventHandler) and LibLoadLock.
//
// A NOTE ON THREADS
// - Main thread: creates and destroys components; sets FileName, StartSample,
//   EndSample, Loop and the sink's Input; calls Start, Stop, Pause, Resume,
//   Progress, the format queries and GoToSample/SeekPercent (position bar).
// - A sink's worker: runs PrepareOutput, OutputBlock and ReleaseOutput, and
//   through them BeginRead, GetBlock/FillBuffer and EndRead of its source.
//   It never waits for the main thread; everything it reports is posted to
//   the dispatcher.
// - The dispatcher: takes posted events and runs each handler on the main
//   thread (Synchronize), waiting for it. A run's OnDone is delivered only once
//   that sink's worker is idle, so the handler may Start the next run at once.
// - A source's FDataLock (re-entrant) serialises run start/end, block delivery
//   and seeking; FOpenLock serialises the decoder's open and close.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ACS_Streams.h"
#include "ACS_Types.h"
#include "replay_gain_info.h"
#include "sync.h"
#include "time_range.h"

namespace quillet {

// Serialises every run-time load of a codec library (the loaders hold it while
// they load a library and look up its entry points).
std::recursive_mutex& LibLoadLock();

// ---------------------------------------------------------------------------
// Sources

// Raised at run start for a time range (a CUE track) the file does not reach.
inline constexpr char kTrackPastEnd[] = "The track starts past the end of the file";

// Told, on the seeking thread, that a source playing in a run was moved to
// another position (a sink then drops the sound it queued from the old one).
class TSeekListener {
  public:
    virtual void InputRepositioned() = 0;

  protected:
    ~TSeekListener() = default;
};

// The source contract: format queries, per-run start and end, block delivery,
// seeking. A block is a pointer into the source's own storage plus a byte
// count, valid until the next request to the same source.
class TAuInput : public TComponent {
  public:
    explicit TAuInput(TComponent* owner = nullptr) : TComponent(owner) {}
    const char* ClassName() const override { return "TAuInput"; }

    virtual uint32_t GetBitsPerSample() = 0;
    virtual uint32_t GetChannels() = 0;
    virtual uint32_t GetSampleRate() = 0;
    // Whole seconds of the data (0 in the base).
    virtual int32_t GetDuration() { return 0; }
    // Frames of the data (0 in the base).
    virtual int64_t GetSampleCount() { return 0; }
    // Delivers the next block (worker): Bytes in = most wanted, out = given.
    virtual void GetBlock(uint8_t*& Buffer, uint32_t& Bytes);
    // Ends any run, ignoring its errors, and makes the source inactive.
    virtual void Reset();
    virtual void PauseSource() {}
    virtual void ResumeSource() {}
    // The gains the source's tags give (none in the base). A sink asks once
    // the source is open, so it needs to know no tag format.
    virtual TReplayGain ReplayGain() { return {}; }
    // Bytes a source fed from outside (a network stream) can give now
    // without waiting; -1 (the base): whatever is asked, at once. A sink
    // starts such a source with what it holds and takes no more than that
    // while its own ring is comfortable, so sound starts early and the ring
    // grows as the source runs ahead. The thread that reads the source.
    virtual int64_t BufferedBytes() const { return -1; }

    // Positioning. Sources that read a stream implement these
    // (TAuStreamedInput); the base cannot seek.
    virtual bool GoToSample(int64_t /*SampleNum*/) { return false; }
    virtual void SeekPercent(int32_t /*Delta*/) {}

    // Starts a run; any failure arrives as EAuException with its own message.
    void BeginRead();
    void EndRead();
    // Copies one block of up to Size bytes to Dest; returns the count.
    int32_t CopyBlock(void* Dest, int32_t Size);
    // Fills Dest with up to Size bytes. EndReached is true only when a request
    // returned nothing: a buffer filled exactly by the last bytes reports
    // false and the next call returns 0 and true.
    int32_t FillBuffer(void* Dest, int32_t Size, bool& EndReached);

    bool Active() const { return FActive.load(); }
    // Repositionings made during runs (see TSeekListener).
    uint32_t SeekCount() const { return FSeekCount.load(); }
    void SetSeekListener(TSeekListener* Listener) { FSeekListener = Listener; }
    int64_t Delivered() const { return FDelivered.load(); }
    int64_t DataSize() const { return FDataSize.load(); }
    // The size came from a header's estimate (a headerless VBR MP3's bit
    // rate, an ASF duration), not from a count the file gives: it serves
    // progress until decoding passes it, and never ends a run.
    bool SizeIsEstimate() const { return FSizeIsEstimate.load(); }
    uint16_t FrameBytes() const { return FFrameBytes; }

  protected:
    virtual void DoBeginRead() = 0;
    virtual void DoEndRead() = 0;
    // The decoder's delivery: Buffer points into its own storage; 0 bytes
    // means the data has ended. It may set FAtEnd itself.
    virtual void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) = 0;

    // Bytes delivered in this run (the position inside the range). Atomic:
    // SeekPercent and Progress read it without the lock.
    std::atomic<int64_t> FDelivered{0};
    // PCM bytes of the range; -1 unknown, 0 none. Atomic for the same reason.
    std::atomic<int64_t> FDataSize{0};
    // Set by the decoder when it opens, with FDataSize.
    std::atomic<bool> FSizeIsEstimate{false};
    // Written under FDataLock at run start; atomic so the main thread may
    // read it for the position while a run starts.
    std::atomic<uint16_t> FFrameBytes{0};
    std::atomic<bool> FActive{false};  // true from DoBeginRead to DoEndRead
    int32_t FBlockStart = 0;           // the decoder's storage window (its own
    int32_t FBlockEnd = 0;             // convention); reset to 1/0 each run
    std::recursive_mutex FDataLock;
    bool FAtEnd = false;  // under FDataLock
    std::atomic<uint32_t> FSeekCount{0};
    std::atomic<TSeekListener*> FSeekListener{nullptr};
};

// A source that reads a byte stream: the sample range, Loop, seekability.
class TAuStreamedInput : public TAuInput {
  public:
    explicit TAuStreamedInput(TComponent* owner = nullptr) : TAuInput(owner) {}
    const char* ClassName() const override { return "TAuStreamedInput"; }

    void GetBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    // Idle: stores the start point for the next run. Active: repositions
    // (decoder errors are swallowed and give false).
    bool GoToSample(int64_t SampleNum) override;
    // Moves by Delta percent of the range (the position bar).
    void SeekPercent(int32_t Delta) override;
    // A stream the caller gives stays the caller's; nullptr takes it back.
    virtual void SetStream(TStream* Stream);

    int64_t StartSample() const { return FStartSample.load(); }
    void SetStartSample(int64_t v) { FStartSample = v; }
    int64_t EndSample() const { return FEndSample.load(); }
    void SetEndSample(int64_t v) { FEndSample = v; }
    bool Loop() const { return FLoop.load(); }
    void SetLoop(bool v) { FLoop = v; }
    // For the next run only (idle): play `Range` of the data (a CUE track),
    // starting `Offset` flicks into it (a resumed position, counted as
    // played). Turned into samples at run start, by the source's own rate;
    // it replaces StartSample and EndSample. An offset past the range's end
    // starts at its beginning. A range running past the end of the file is
    // cut there; one starting at or past the end of a file whose length is
    // exact makes BeginRead raise kTrackPastEnd.
    void SetTimeRange(const TTimeRange& Range, int64_t Offset = 0);
    bool CanSeek() const { return FCanSeek.load(); }

  protected:
    // Whether reaching FDataSize ends the run: a count the file gives, or
    // the caller's range end; never an estimate alone.
    bool SizeEndsRun() const { return !FSizeIsEstimate || FEndSample != -1; }
    // Repositions so that the next block starts at absolute frame SampleNum;
    // may update SampleNum to the frame reached.
    virtual bool SeekToSample(int64_t& SampleNum) = 0;

    TStream* FSourceStream = nullptr;  // the stream the decoder reads
    bool FStreamGiven = false;         // FSourceStream is the caller's
    std::atomic<bool> FCanSeek{true};
    std::atomic<int64_t> FStartSample{0};
    std::atomic<int64_t> FEndSample{-1};
    std::atomic<bool> FLoop{false};
    int64_t FSampleCount = 0;  // frames in the range
    // SetTimeRange's part for the next run, under FDataLock.
    bool FTimed = false;
    TTimeRange FTimeRange;
    int64_t FTimeOffset = 0;
};

// A source that reads a named file (or a stream the caller gives it). Every
// decoder derives from it and supplies OpenSource, CloseSource, ReadBlock and
// SeekToSample. A decoder's destructor must call its own CloseSource (a base
// destructor cannot reach the override).
class TAuFileIn : public TAuStreamedInput {
  public:
    explicit TAuFileIn(TComponent* owner = nullptr) : TAuStreamedInput(owner) {}
    const char* ClassName() const override { return "TAuFileIn"; }

    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;
    int32_t GetDuration() override;
    int64_t GetSampleCount() override;
    // Opens on demand, as the format queries do. A file whose tags give no
    // gain at all gives the fallback instead.
    TReplayGain ReplayGain() override;
    // Gains from outside the file (a CUE sheet's REM lines), for a file whose
    // own tags give none. Cleared by SetFileName.
    void SetFallbackReplayGain(const TReplayGain& Value);
    void Reset() override;
    void SetStream(TStream* Stream) override;

    // 8-bit (UTF-8) file name; setting it closes the decoder.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value);
    // Whether the decoder understood the file (opens it on demand).
    bool IsValid();

  protected:
    void DoBeginRead() override;
    void DoEndRead() override;
    // Run start: the caller's StartSample/EndSample applied to the size.
    void NarrowToRange();
    // Under FOpenLock; opens only when FOpenCount is 0, then increments it.
    virtual void OpenSource() = 0;
    // Under FOpenLock; releases the decoder, closes or rewinds the stream,
    // FOpenCount := 0.
    virtual void CloseSource() = 0;

    // For decoders' OpenSource: unless a stream was given, open FFileName
    // (its bytes, never the UTF-16 form) with a TAuFileStream in mode $20 (raises with the system's
    // text).
    void OpenFileStream();
    // For decoders' CloseSource: rewind a given stream, free our own.
    void CloseFileStream();

    std::recursive_mutex FOpenLock;
    std::string FFileName;
    std::u16string FFileNameW;
    int32_t FOpenCount = 0;
    bool FIsValid = false;
    uint32_t FBitsPerSample = 0;
    uint32_t FSampleRate = 0;
    uint32_t FChannels = 0;
    int32_t FDuration = 0;
    // Under FOpenLock: set by the OpenSource of a decoder that reads tags,
    // from the file it opens; the others leave it empty.
    TReplayGain FReplayGain;

  private:
    std::unique_ptr<TStream> FOwnStream;
    TReplayGain FFallbackGain;  // under FOpenLock
};

// ---------------------------------------------------------------------------
// Sinks

class TAuOutput;

// The worker of a sink: one run per Start, idle (suspended) in between.
// Flags are written by one side and read by the other; each is atomic.
class TAuThread : public TWorkerThread {
  public:
    explicit TAuThread(TAuOutput* output) : FOutput(output) {}

  protected:
    void Execute() override;
    void Terminating() override { FHoldWake.Set(); }

  private:
    friend class TAuOutput;
    TAutoResetEvent FPauseSignal;  // "pause_event": acknowledges pause/resume
    // Wakes a holding (paused) worker: Resume, Stop, a seek, the end. A
    // paused player then sleeps without a timer.
    TAutoResetEvent FHoldWake;
    std::atomic<bool> FNotifyDone{true};
    std::atomic<bool> FRunEnded{false};
    TAuOutput* FOutput;
    std::atomic<bool> FStopRequest{false};
    std::atomic<bool> FPauseRequest{false};
    std::atomic<bool> FPausedNow{false};
};

// A sink plays its Input on a worker thread of its own. A concrete sink
// supplies PrepareOutput, OutputBlock and ReleaseOutput (all on the worker),
// and its destructor must call ShutdownWorker() first, so no run is inside
// its overrides while they are torn down.
//
// The gapless chain: a sink that can join inputs (TDXAudioOut) posts
// OnNeedNext once per input, a few seconds before the input ends (at once
// when its size is unknown); the main thread answers with QueueNext. When
// the input ends, a queued input of the same PCM format follows it in the
// same run, without a gap, and becomes Input; OnTrackChange is posted when
// its first sample is heard, and until then Progress stays at 100 (the old
// track's end is still playing). A queued input that fails to open or has
// another format is dropped, and the run ends as it always did, with OnDone.
// The chain knows no playlist: which input comes next is the caller's call.
class TAuOutput : public TComponent, public TSeekListener {
  public:
    explicit TAuOutput(TComponent* owner = nullptr);
    ~TAuOutput() override;
    const char* ClassName() const override { return "TAuOutput"; }

    // Main thread. Raises "Component is Busy" / "Input is not assigned".
    void Start();
    // NoWait: request the stop, OnDone follows. Otherwise drop this sink's
    // pending events and wait (serving the main-thread call queue) until the
    // worker is idle; no OnDone.
    void Stop(bool NoWait = true);
    virtual void Pause();
    virtual void Resume();

    // Percent of the source's range delivered: -1 unknown size, 0 without
    // input or with an empty size, else 0..100.
    int32_t Progress() { return GetProgress(); }
    std::string LastError() const;
    // Whose fault LastError is: the input's (the default: any error not
    // raised as one of the sink's own), the format's, or the device's.
    enum class TFault { None, Input, Format, Device };
    TFault LastFault() const;
    TAuInput* Input() const { return FInput.load(); }
    void SetInput(TAuInput* Value) { AssignInput(Value); }
    bool Active() const { return FActive.load(); }
    // A pause is in force: Pause was called on this run and neither Resume
    // nor Stop has ended it. Main thread (it alone sets and clears the request
    // while a run goes on), so it holds as soon as Pause returns.
    bool PauseRequested() const { return FWorker && FWorker->FPauseRequest.load(); }

    void SetOnDone(TOutputDoneEvent h);
    void SetOnProgress(TOutputProgressEvent h);
    void SetOnThreadException(TThreadExceptionEvent h);

    // --- The gapless chain (main thread).
    void SetOnNeedNext(TNotifyEvent h);
    void SetOnTrackChange(TNotifyEvent h);
    // The input to follow the current one; nullptr answers "none". Replaces
    // (and ends) an input queued earlier that has not been handed over. The
    // current Input itself is refused (ignored). The sink does not own it.
    void QueueNext(TAuInput* Next);
    // Drops the queued input unless the worker has already made it current;
    // true when one was dropped. The sink then waits for a new answer, as if
    // OnNeedNext had just been posted. Never waits for an open: an input the
    // worker is opening is ended by the worker once its open returns.
    bool CancelNext();
    // The input queued and not yet handed over (nullptr: none).
    TAuInput* QueuedNext() const;
    // Whether the sink still has a use for `input`: playing it in a run,
    // queued, fading out under the next one, or being opened or ended on
    // the worker. Such an input must not
    // be given another file.
    bool Holds(const TAuInput* input) const;
    // A queued input that could not be opened, or holds nothing, is passed
    // over before the join: the worker ends it and posts OnNeedNext again, so
    // the answer may name the one after it. These are such inputs, oldest
    // first, each once, with the error that passed it over.
    struct TFailedNext {
        TAuInput* Input = nullptr;
        std::string Error;
    };
    std::optional<TFailedNext> TakeFailedNext();
    // OnNeedNext has been posted and not answered yet.
    bool AwaitingNext() const;
    // Hand-overs whose first sample has not been heard yet.
    int32_t TrackChangesPending() const { return FUnheard.load(); }
    // For OnTrackChange: the input whose first sample was heard, one per
    // event, oldest first; nullptr when there is none left.
    TAuInput* TakeHeardInput();
    // Takes back what was given ahead and is not heard yet: every input
    // handed over whose first sample the device has not taken (the ring is
    // cut where the earliest of them begins, so the input before it ends the
    // sound there) and the queued one. The worker does it at its next step;
    // when anything was taken back OnNeedNext is posted, and the answer
    // follows the input that then ends the ring, without a gap. An input
    // whose first sample the device took stays: the change acts on its end.
    void RetractUnheard();
    // For OnNeedNext: the inputs taken back (or dropped from the queue) by
    // RetractUnheard, one per call, oldest first; nullptr when none is left.
    TAuInput* TakeRetracted();
    // Whether the last run (or the current one) gave the device any sound.
    bool ProducedSound() const { return FProducedSound.load(); }

    // Where the sound heard now is, for a time display or a media-player
    // interface (Progress, by contrast, counts what was delivered, up to a
    // ring ahead): in the current input, or, while the end of the input
    // before a hand-over is still playing, in that one. Frames; -1 unknown;
    // Rate 0: no run.
    struct TPlayPoint {
        int64_t Frame = -1;
        int64_t Length = -1;
        uint32_t Rate = 0;
        bool Estimated = false;  // Length is only a header's estimate
    };
    TPlayPoint PlayPoint() const;

    // The source was moved while playing (the seeking thread).
    void InputRepositioned() override {
        if (FWorker) FWorker->FHoldWake.Set();  // a held run tells the new progress
        WakeWorker();
    }

  protected:
    virtual void AssignInput(TAuInput* Value);
    // One step of a run; true means call again.
    virtual bool OutputBlock(bool Abort) = 0;
    virtual void ReleaseOutput() = 0;
    virtual void PrepareOutput() = 0;
    void Notification(TComponent* component, TOperation operation) override;
    void BeforeDestruction() override;

    int32_t GetProgress();
    void FinishRun();
    void SetLastError(const std::string& message, TFault fault = TFault::Input);
    // SetLastError with the fault the exception's type names.
    void SetLastError(const std::exception& e);
    // Posts a pkNotify event for `handler` when it is assigned.
    void PostNotify(const TNotifyEvent& handler);
    TNotifyEvent OnThreadException() const;
    // Stops any run and ends the worker; idempotent.
    void ShutdownWorker();
    // Worker: a stop has been asked for this run. For a step that waits
    // (a drain), which would otherwise hold a waiting Stop until it ends.
    bool StopRequested() const;
    // Worker: answers a Pause made while a step waits without returning (a
    // drain plays out regardless), so the caller is not held.
    void AcknowledgePause();
    // Any thread: ends the worker's current wait early (a seek). The base
    // has nothing to wake.
    virtual void WakeWorker() {}
    // Worker, once a pause has held this long (ms; 0: never), Park is
    // called, unless the pause ended first: a sink releases what keeps a
    // thread awake while nothing is heard, and takes it again when the run
    // goes on. The base parks nothing.
    virtual uint32_t ParkAfterMs() { return 0; }
    virtual void Park() {}
    // Worker: the run's PCM format, once the device has taken it (0, 0:
    // none); FinishRun clears it.
    void SetRunFormat(uint32_t Rate, uint32_t FrameBytes);
    // Any thread: bytes given to the device and not heard yet.
    virtual int64_t QueuedBytes() const { return 0; }
    // Any thread: bytes the device has played since the run began (the same
    // count ChainHandOver's position is in).
    virtual uint64_t PlayedBytes() const { return 0; }

    // --- The gapless chain (worker side, for concrete sinks).
    enum class TChainAnswer { caNone, caWaiting, caInput };
    // Posts OnNeedNext for the current input when at most `LeadBytes` of it
    // are left to deliver, its size is unknown, or it has ended; once per input.
    void ChainAskIfNear(int64_t LeadBytes, bool Ended);
    // caWaiting: asked, no answer yet; caNone: nothing will follow (answered
    // none, or the queued input was dropped); caInput: an input is queued.
    TChainAnswer ChainAnswer();
    // Waits up to `Timeout` while the answer is still to come (the main
    // thread answers within milliseconds; a track shorter than a fill ends
    // before it could); returns the answer then.
    TChainAnswer ChainAwaitAnswer(std::chrono::milliseconds Timeout);
    // Opens the queued input if not yet (its BeginRead runs here, outside
    // the chain lock); returns it once open and of this PCM format. Else
    // nullptr, and ChainAnswer() tells why: caNone for another format (the
    // run ends with the current input), caWaiting when it could not be
    // opened or held nothing (passed over; OnNeedNext is posted again) or
    // the main thread changed the answer meanwhile.
    TAuInput* ChainReady(uint32_t Channels, uint32_t Rate, uint32_t Bits);
    // Ends the current input's run and makes the ready input current; returns
    // it, or nullptr when the main thread dropped it meanwhile. `EndBytes` is
    // where the ended input's sound ends in the device's count (PlayedBytes):
    // until it is played, PlayPoint tells the ended input's position. With
    // `KeepOld` the old input's run goes on as the one fading out (a
    // crossfade: its last seconds are mixed under the new one's first),
    // until EndFadingOut. The old input's run is ended once nothing needs it:
    // its end heard (ChainHeard) and no longer faded out, whichever is last.
    TAuInput* ChainHandOver(uint64_t EndBytes, bool KeepOld = false);
    // The input kept by ChainHandOver(..., true), still read; nullptr: none.
    TAuInput* FadingOut() const;
    // The fading input is no longer read; its run ends if its end was heard
    // (its errors do not matter).
    void EndFadingOut();
    // The first sample of a handed-over input has been heard.
    void ChainHeard();
    // Posts OnNeedNext again for the current input (or answers "none" when
    // nobody chains).
    void AskAgain();
    // End of run: ends and forgets a queued input and the pending changes.
    void ChainRelease();
    // Under FChainLock: nothing of the chain needs `input` any more (not
    // current, not fading out, its end heard).
    bool Released(const TAuInput* input) const;
    // Worker: RetractUnheard was called since the last ChainRetract.
    bool RetractionWanted() const { return FRetractions.load() != FRetractionsSeen; }
    // Worker: RetractUnheard's work in the chain, the first `Keep` hand-overs
    // kept (their first samples were taken): the later ones and the queued
    // input are ended and reported; the input that ended where the first one
    // dropped begins is current again. True when anything was dropped;
    // OnNeedNext is posted then when the current input has ended.
    bool ChainRetract(size_t Keep);
    // Worker: the input that ended where hand-over `Index` begins is still
    // there (ChainRetract can make it current).
    bool ChainEndedKnown(size_t Index) const;

    std::atomic<bool> FFeeding{false};        // the run may still feed the device
    std::atomic<bool> FProducedSound{false};  // set by the sink when it writes PCM

  private:
    friend class TAuThread;
    TNotifyEvent Handler(const TNotifyEvent& h) const;

    mutable std::mutex FEventLock;  // guards the handlers and FLastError
    std::string FLastError;
    TFault FLastFault = TFault::None;
    TOutputDoneEvent FOnDone;
    TOutputProgressEvent FOnProgress;
    TThreadExceptionEvent FOnThreadException;
    TNotifyEvent FOnNeedNext;
    TNotifyEvent FOnTrackChange;
    int32_t FLastProgress = 0;        // worker only
    bool FPauseAcknowledged = false;  // worker only: AcknowledgePause answered this request
    // The chain's state, under FChainLock, which is only ever held for a
    // moment: the worker opens the queued input outside it, marked by
    // FOpening and the serial it was queued under; an answer that changed
    // meanwhile (a new serial) leaves the worker to end what it opened.
    // An input it names is never given another file by the main thread
    // (Holds), so it can be opened outside the lock.
    // An ended input stays open until its end is heard: a retraction makes
    // it current again (a seek in it then reads on).
    struct TEndedInput {
        TAuInput* Input;    // nullptr once it was destroyed
        int64_t Delivered;  // bytes, at its end
        int64_t Size;
        bool Estimated;
        uint64_t EndBytes;  // in PlayedBytes' count
    };
    mutable std::mutex FChainLock;
    std::condition_variable FChainAnswered;       // with FChainLock: QueueNext and CancelNext
    TAuInput* FNext = nullptr;                    // under FChainLock
    TAuInput* FFading = nullptr;                  // under FChainLock: kept by a crossfade
    bool FNextOpened = false;                     // under FChainLock: BeginRead done (worker)
    TAuInput* FOpening = nullptr;                 // under FChainLock: the worker opens or ends it
    uint64_t FNextSerial = 0;                     // under FChainLock: bumped when FNext changes
    std::deque<TFailedNext> FFailedNext;          // under FChainLock: passed over, not yet taken
    int FPassedOver = 0;                          // under FChainLock: passed over since a hand-over
    std::deque<TEndedInput> FEnded;               // under FChainLock: one per unheard hand-over
    TChainAnswer FAnswer = TChainAnswer::caNone;  // under FChainLock
    bool FAsked = false;                          // under FChainLock: OnNeedNext posted for Input
    std::deque<TAuInput*> FUnheardInputs;         // under FChainLock: handed over, not yet heard
    std::deque<TAuInput*> FHeardInputs;           // under FChainLock: heard, not yet taken
    std::deque<TAuInput*> FRetracted;             // under FChainLock: taken back, not yet told
    std::vector<TAuInput*> FEnding;               // under FChainLock: taken back, being ended
    std::atomic<uint32_t> FRetractions{0};        // bumped by RetractUnheard
    uint32_t FRetractionsSeen = 0;                // worker only
    std::atomic<int32_t> FUnheard{0};             // FUnheardInputs' size, for Progress
    std::atomic<uint32_t> FRunRate{0};
    std::atomic<uint32_t> FRunFrameBytes{0};
    std::unique_ptr<TAuThread> FWorker;
    std::atomic<TAuInput*> FInput{nullptr};
    std::atomic<bool> FActive{false};
    std::atomic<bool> FStarting{false};  // Start resumed the worker, the run is not active yet
    TComponent* FRemoving = nullptr;     // main only: the input whose removal is being told
    bool FRegistered = false;            // holds a reference on the dispatcher
};

// ---------------------------------------------------------------------------
// The event dispatcher

enum TPendingEventKind : uint8_t { pkProgress = 0, pkDone = 1, pkNotify = 2 };

struct TPendingEvent {
    TPendingEventKind Kind;
    TComponent* Sender;
    TNotifyEvent Handler;
    TWorkerThread* Thread;  // pkDone only: the sink's worker
};

// One per process, from the first sink's construction to the last one's
// destruction. Workers post and go on; the dispatcher's thread runs each
// handler on the main thread in posting order and waits for it.
class TEventHandler : public TWorkerThread {
  public:
    TEventHandler();
    ~TEventHandler() override;

    void PostProgress(TComponent* Sender, const TNotifyEvent& Handler);
    void PostDone(TComponent* Sender, TWorkerThread* Thread, const TNotifyEvent& Handler);
    void PostNotify(TComponent* Sender, const TNotifyEvent& Handler);
    // Events posted by the muted sink are dropped (one sink at a time).
    void Mute(TComponent* Sender);
    void Unmute();
    // Removes every queued record of Sender, keeping the order of the rest.
    void Purge(TComponent* Sender);
    // Main thread: Purge, and cancel a record of Sender that the dispatcher
    // has already taken, so it is not delivered. With `wait`, returns only
    // once the dispatcher holds no record of Sender (serving main-thread
    // calls meanwhile); a destroyed sink must never be a record's Sender.
    void Cancel(TComponent* Sender, bool wait);
    // A handler of this dispatcher is running (on the main thread).
    bool Dispatching();

  protected:
    void Execute() override;
    void Terminating() override { FWakeEvent.Set(); }

  private:
    void Post(TPendingEventKind kind, TComponent* Sender, TWorkerThread* Thread,
              const TNotifyEvent& Handler);
    void DispatchStep();  // runs on the main thread

    std::mutex FQueueLock;
    std::deque<TPendingEvent> FQueue;    // under FQueueLock
    TAutoResetEvent FWakeEvent;          // "mainevent"
    TPendingEvent FCurrent{};            // under FQueueLock while FHasCurrent
    bool FHasCurrent = false;            // under FQueueLock
    bool FCurrentCancelled = false;      // under FQueueLock
    bool FDispatching = false;           // under FQueueLock: FCurrent's handler runs
    TComponent* FMutedSender = nullptr;  // under FQueueLock
};

// The process-wide dispatcher (nullptr when no sink exists).
TEventHandler* AuEventHandler();
// Main thread: the first acquire creates the dispatcher, the last release
// ends it (at once) and frees it.
void AcquireEventHandler();
void ReleaseEventHandler();

}  // namespace quillet
