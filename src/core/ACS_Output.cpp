// Sinks: the worker's run loop, Start/Stop/Pause/Resume and progress.
#include <algorithm>
#include <cmath>
#include <thread>

#include "ACS_Classes.h"
#include "main_thread.h"

namespace quillet {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// TAuThread

void TAuThread::Execute() {
    // FStopRequest is not cleared here: the thread first runs after Start()
    // has returned, and a Stop() in between must not be lost.
    TAuOutput& out = *FOutput;
    while (!Terminated()) {
        try {
            // The pause state is reset before the run becomes active, not
            // after preparing: a Pause made while the device and the file
            // open must hold the run, not be wiped and time out.
            FPauseRequest = false;
            FPausedNow = false;
            FPauseSignal.Reset();
            out.FPauseAcknowledged = false;
            out.FProducedSound = false;
            out.ChainRelease();  // an answer left over from an earlier run
            {
                // The changes an earlier run told of were taken by its
                // handlers before its OnDone, or dropped with its events.
                std::lock_guard<std::mutex> l(out.FChainLock);
                out.FHeardInputs.clear();
            }
            out.FActive = true;  // before preparing, so a failure is still cleaned up
            out.FStarting = false;
            out.PrepareOutput();
            bool running = true;
            out.FFeeding = true;
            while (!FStopRequest && running) {
                const int32_t p = out.GetProgress();
                if (p != out.FLastProgress) {
                    out.FLastProgress = p;
                    TNotifyEvent h = out.Handler(out.FOnProgress);
                    if (h) AuEventHandler()->PostProgress(&out, h);
                }
                if (FPauseRequest) {
                    const bool first = !FPausedNow;
                    if (first) {
                        // A wake-up left from before the pause (a Stop, a
                        // seek) must not cut its first wait short.
                        FHoldWake.Reset();
                        if (!FPauseRequest || FStopRequest) continue;
                    }
                    if (first && !FStopRequest) FPauseSignal.Set();
                    FPausedNow = true;
                    const uint32_t park = first ? out.ParkAfterMs() : 0;
                    if (park > 0 && !FHoldWake.WaitFor(std::chrono::milliseconds(park))) {
                        if (FPauseRequest && !FStopRequest) out.Park();
                        continue;
                    }
                    if (!first || park == 0) FHoldWake.WaitFor(std::chrono::hours(24));
                    continue;
                }
                if (FPausedNow && !FStopRequest) FPauseSignal.Set();
                FPausedNow = false;
                running = out.OutputBlock(FStopRequest);
            }
        } catch (const std::exception& e) {
            // Every error, not only the framework's own, ends the run here:
            // nothing may escape the worker.
            out.SetLastError(e);
            out.PostNotify(out.OnThreadException());
            FStopRequest = true;
        } catch (...) {
            out.SetLastError("Unknown error");
            out.PostNotify(out.OnThreadException());
            FStopRequest = true;
        }
        FStopRequest = false;
        // Release a Pause or Resume that waits on this run: it has ended and
        // will acknowledge nothing more (the next run resets the signal).
        FPauseSignal.Set();
        try {
            out.FinishRun();
        } catch (...) {
            out.FActive = false;
        }
        if (FNotifyDone) {
            TNotifyEvent h = out.Handler(out.FOnDone);
            if (h) AuEventHandler()->PostDone(&out, this, h);
        }
        FRunEnded = true;
        if (!Terminated()) Suspend();
    }
}

// ---------------------------------------------------------------------------
// TAuOutput

TAuOutput::TAuOutput(TComponent* owner) : TComponent(owner) {
    FWorker = std::make_unique<TAuThread>(this);
    AcquireEventHandler();
    FRegistered = true;
}

TAuOutput::~TAuOutput() {
    ShutdownWorker();
}

void TAuOutput::BeforeDestruction() {
    ShutdownWorker();
    TComponent::BeforeDestruction();
}

bool TAuOutput::StopRequested() const {
    return FWorker && FWorker->FStopRequest.load();
}

void TAuOutput::ShutdownWorker() {
    if (!FWorker) return;
    Stop(false);
    // No record of this sink may outlive it in the dispatcher.
    if (TEventHandler* d = AuEventHandler()) d->Cancel(this, true);
    FWorker->Terminate();
    while (FWorker->Suspended() && !FWorker->Finished()) FWorker->Resume();
    FWorker->WaitFor();
    FWorker.reset();
    ChainRelease();
    if (TAuInput* in = FInput.exchange(nullptr)) {
        in->SetSeekListener(nullptr);
        in->RemoveFreeNotification(this);
    }
    if (FRegistered) {
        FRegistered = false;
        ReleaseEventHandler();
    }
}

void TAuOutput::Start() {
    SetLastError({}, TFault::None);
    if (FActive) throw EAuException("Component is Busy");
    if (!FInput) throw EAuException("Input is not assigned");
    if (FWorker && FWorker->Suspended()) {
        FWorker->FStopRequest = false;
        // Until the worker marks the run active, an input cleared or freed
        // must still stop this run first (AssignInput), never leave the
        // worker to start a source that is gone.
        FStarting = true;
        FWorker->Resume();
    }
}

void TAuOutput::Stop(bool NoWait) {
    if (!FWorker) return;
    TAuThread& w = *FWorker;
    w.FNotifyDone = NoWait;
    w.FRunEnded = false;
    w.FStopRequest = true;
    if (w.FPausedNow) w.FPauseRequest = false;
    w.FHoldWake.Set();
    if (NoWait) return;
    TEventHandler* d = AuEventHandler();
    if (d) {
        d->Mute(this);
        d->Cancel(this, false);
    }
    // Serve the dispatcher's calls while waiting, or a dispatcher blocked in
    // a call to this thread and this thread blocked here would wait forever.
    while (!w.Suspended()) CheckSynchronize(5ms);
    if (d) d->Unmute();
    w.FNotifyDone = true;
}

void TAuOutput::Pause() {
    TAuInput* in = FInput;
    if (!in) throw EAuException("Input is not assigned.");
    if (!FActive || !FWorker) return;
    // Already holding: no new acknowledgement will come, so do not wait for one.
    if (!(FWorker->FPausedNow && FWorker->FPauseRequest)) {
        FWorker->FPauseRequest = true;
        FWorker->FPauseSignal.WaitFor(10000ms);
    }
    in->PauseSource();
}

void TAuOutput::Resume() {
    if (!FActive || !FWorker) return;
    if (TAuInput* in = FInput) in->ResumeSource();
    // Only a holding worker acknowledges; waiting on one that plays would
    // freeze the caller for the whole time-out.
    const bool holding = FWorker->FPausedNow;
    FWorker->FPauseRequest = false;
    FWorker->FHoldWake.Set();
    if (holding) FWorker->FPauseSignal.WaitFor(10000ms);
}

int32_t TAuOutput::GetProgress() {
    TAuInput* in = FInput;
    if (!in) return 0;
    // The next track is decoded but the end of this one is still playing.
    if (FUnheard.load() > 0) return 100;
    const int64_t size = in->DataSize();
    if (size == -1) return -1;
    if (size == 0) return 0;
    return static_cast<int32_t>(
        std::nearbyint(static_cast<double>(in->Delivered()) / static_cast<double>(size) * 100.0));
}

void TAuOutput::SetRunFormat(uint32_t Rate, uint32_t FrameBytes) {
    FRunFrameBytes = FrameBytes;
    FRunRate = Rate;
}

TAuOutput::TPlayPoint TAuOutput::PlayPoint() const {
    TPlayPoint point;
    TAuInput* in = FInput.load();
    const uint32_t rate = FRunRate.load(), frame = FRunFrameBytes.load();
    if (in == nullptr || rate == 0 || frame == 0 || !FActive) return point;
    point.Rate = rate;
    int64_t size = in->DataSize(), heard = 0;
    bool estimated = in->SizeIsEstimate();
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (!FEnded.empty()) {
            // The end of the input before a hand-over is still playing.
            const TEndedInput& ended = FEnded.front();
            const uint64_t played = PlayedBytes();
            const int64_t unplayed =
                ended.EndBytes > played ? static_cast<int64_t>(ended.EndBytes - played) : 0;
            size = ended.Size;
            estimated = ended.Estimated;
            heard = std::max<int64_t>(0, ended.Delivered - unplayed);
        } else {
            heard = std::max<int64_t>(0, in->Delivered() - QueuedBytes());
        }
    }
    point.Length = size > 0 ? size / frame : -1;
    point.Estimated = estimated;
    point.Frame = heard / frame;
    if (point.Length >= 0) point.Frame = std::min(point.Frame, point.Length);
    return point;
}

void TAuOutput::FinishRun() {
    if (!FActive) return;
    SetRunFormat(0, 0);
    FFeeding = false;
    ReleaseOutput();
    FActive = false;
}

void TAuOutput::AssignInput(TAuInput* Value) {
    auto store = [&] {
        TAuInput* old = FInput.exchange(Value);
        if (old && old != Value) {
            // A source being destroyed is a source no longer: only its
            // component part may still be called.
            if (old != FRemoving) old->SetSeekListener(nullptr);
            old->RemoveFreeNotification(this);
        }
        if (Value) {
            Value->FreeNotification(this);
            Value->SetSeekListener(this);
        }
    };
    if (FActive || FStarting) {
        Stop(false);
        store();
        Start();
    } else {
        store();
    }
}

void TAuOutput::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        // A queued input that goes is forgotten, never called again.
        std::lock_guard<std::mutex> l(FChainLock);
        if (component == FNext) {
            FNext = nullptr;
            FNextOpened = false;
            ++FNextSerial;
            if (FAsked) FAnswer = TChainAnswer::caWaiting;
        }
        std::erase_if(FFailedNext, [&](const TFailedNext& f) { return f.Input == component; });
        // Held (Holds), so only at the end of everything: never read again.
        if (component == FFading) FFading = nullptr;
        std::erase(FRetracted, component);
        for (TEndedInput& e : FEnded)
            if (e.Input == component) e.Input = nullptr;
    }
    if (operation == TOperation::opRemove && component == FInput.load()) {
        // Removing the source of an active run stops it; the restart that
        // AssignInput then attempts finds no input and is dropped, so the
        // source's destruction goes on and the sink ends idle.
        FRemoving = component;
        try {
            AssignInput(nullptr);
        } catch (const Exception&) {
        }
        FRemoving = nullptr;
    }
    TComponent::Notification(component, operation);
}

std::string TAuOutput::LastError() const {
    std::lock_guard<std::mutex> l(FEventLock);
    return FLastError;
}

TAuOutput::TFault TAuOutput::LastFault() const {
    std::lock_guard<std::mutex> l(FEventLock);
    return FLastFault;
}

void TAuOutput::SetLastError(const std::string& message, TFault fault) {
    std::lock_guard<std::mutex> l(FEventLock);
    FLastError = message;
    FLastFault = fault;
}

void TAuOutput::SetLastError(const std::exception& e) {
    SetLastError(e.what(), dynamic_cast<const EAuDeviceError*>(&e)   ? TFault::Device
                           : dynamic_cast<const EAuFormatError*>(&e) ? TFault::Format
                                                                     : TFault::Input);
}

void TAuOutput::SetOnDone(TOutputDoneEvent h) {
    std::lock_guard<std::mutex> l(FEventLock);
    FOnDone = std::move(h);
}

void TAuOutput::SetOnProgress(TOutputProgressEvent h) {
    std::lock_guard<std::mutex> l(FEventLock);
    FOnProgress = std::move(h);
}

void TAuOutput::SetOnThreadException(TThreadExceptionEvent h) {
    std::lock_guard<std::mutex> l(FEventLock);
    FOnThreadException = std::move(h);
}

void TAuOutput::SetOnNeedNext(TNotifyEvent h) {
    std::lock_guard<std::mutex> l(FEventLock);
    FOnNeedNext = std::move(h);
}

void TAuOutput::SetOnTrackChange(TNotifyEvent h) {
    std::lock_guard<std::mutex> l(FEventLock);
    FOnTrackChange = std::move(h);
}

TNotifyEvent TAuOutput::OnThreadException() const {
    return Handler(FOnThreadException);
}

TNotifyEvent TAuOutput::Handler(const TNotifyEvent& h) const {
    std::lock_guard<std::mutex> l(FEventLock);
    return h;
}

void TAuOutput::PostNotify(const TNotifyEvent& handler) {
    if (handler)
        if (TEventHandler* d = AuEventHandler()) d->PostNotify(this, handler);
}

void TAuOutput::AcknowledgePause() {
    if (!FWorker) return;
    if (!FWorker->FPauseRequest) {
        FPauseAcknowledged = false;
    } else if (!FPauseAcknowledged) {
        FPauseAcknowledged = true;
        FWorker->FPauseSignal.Set();
    }
}

// ---------------------------------------------------------------------------
// The gapless chain

namespace {

// Answers in a row that could not be opened before the run gives up asking.
constexpr int kMaxPassedOver = 64;

// The oldest of `queue` (guarded by `lock`), taken out; nullptr for none.
TAuInput* TakeFirst(std::mutex& lock, std::deque<TAuInput*>& queue) {
    std::lock_guard<std::mutex> l(lock);
    if (queue.empty()) return nullptr;
    TAuInput* in = queue.front();
    queue.pop_front();
    return in;
}

// Ends the run of an input the worker opened ahead; its errors do not matter.
void EndQuietly(TAuInput* in) {
    try {
        in->EndRead();
    } catch (...) {
    }
}

}  // namespace

void TAuOutput::QueueNext(TAuInput* Next) {
    if (Next != nullptr && Next == FInput.load()) Next = nullptr;
    TAuInput* ended = nullptr;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FNext != nullptr && FNext != Next) {
            // One being opened is ended by the worker when its open returns.
            if (FNextOpened) ended = FNext;
            FNext->RemoveFreeNotification(this);
        }
        if (FNext != Next) ++FNextSerial;
        if (FNext != Next || !Next) FNextOpened = false;
        FNext = Next;
        FAnswer = Next ? TChainAnswer::caInput : TChainAnswer::caNone;
        if (Next) Next->FreeNotification(this);
        FChainAnswered.notify_all();
    }
    if (ended != nullptr) EndQuietly(ended);
    // A worker between polls would take the answer only after its wait; a
    // ring cut short by a retraction cannot wait that long.
    WakeWorker();
}

bool TAuOutput::CancelNext() {
    TAuInput* ended = nullptr;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FNext == nullptr) return false;
        if (FNextOpened) ended = FNext;
        FNext->RemoveFreeNotification(this);
        FNext = nullptr;
        FNextOpened = false;
        ++FNextSerial;
        if (FAsked) FAnswer = TChainAnswer::caWaiting;
    }
    if (ended != nullptr) EndQuietly(ended);
    return true;
}

bool TAuOutput::Holds(const TAuInput* input) const {
    if (input == nullptr) return false;
    // Between runs the input stays assigned but is the caller's to aim again.
    if (input == FInput.load() && (FActive || FStarting)) return true;
    std::lock_guard<std::mutex> l(FChainLock);
    return input == FNext || input == FOpening || input == FFading ||
           std::find(FEnding.begin(), FEnding.end(), input) != FEnding.end() ||
           std::any_of(FEnded.begin(), FEnded.end(),
                       [input](const TEndedInput& e) { return e.Input == input; });
}

std::optional<TAuOutput::TFailedNext> TAuOutput::TakeFailedNext() {
    std::lock_guard<std::mutex> l(FChainLock);
    if (FFailedNext.empty()) return std::nullopt;
    TFailedNext failed = std::move(FFailedNext.front());
    FFailedNext.pop_front();
    return failed;
}

void TAuOutput::RetractUnheard() {
    ++FRetractions;
    WakeWorker();
}

TAuInput* TAuOutput::TakeRetracted() {
    return TakeFirst(FChainLock, FRetracted);
}

bool TAuOutput::ChainEndedKnown(size_t Index) const {
    std::lock_guard<std::mutex> l(FChainLock);
    return Index < FEnded.size() && FEnded[Index].Input != nullptr;
}

bool TAuOutput::ChainRetract(size_t Keep) {
    FRetractionsSeen = FRetractions.load();
    std::vector<TAuInput*> ended;
    TAuInput* current = nullptr;
    bool ask = false;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        Keep = std::min(Keep, FUnheardInputs.size());
        size_t dropped = 0;
        // The input that ended where the first dropped one begins must still
        // be there to become current again.
        if (Keep < FUnheardInputs.size() && Keep < FEnded.size() && FEnded[Keep].Input != nullptr) {
            current = FEnded[Keep].Input;
            for (size_t i = Keep; i < FUnheardInputs.size(); ++i) {
                ended.push_back(FUnheardInputs[i]);
                FRetracted.push_back(FUnheardInputs[i]);
            }
            dropped = FUnheardInputs.size() - Keep;
            FUnheardInputs.resize(Keep);
            FEnded.resize(Keep);
            FUnheard = static_cast<int32_t>(Keep);
            FAsked = true;  // the input current again has ended: asked anew
        }
        if (FNext != nullptr) {
            if (FNextOpened) ended.push_back(FNext);
            FRetracted.push_back(FNext);
            FNext->RemoveFreeNotification(this);
            FNext = nullptr;
            FNextOpened = false;
            ++FNextSerial;
            ++dropped;
        }
        if (dropped == 0) return false;
        FEnding = ended;  // held until ended below
        FPassedOver = 0;
        if (FAsked) {
            FAnswer = TChainAnswer::caWaiting;
            ask = true;
        } else {
            FAnswer = TChainAnswer::caNone;
        }
    }
    if (current != nullptr) {
        TAuInput* last = FInput.exchange(current);
        if (last != nullptr) last->SetSeekListener(nullptr);
        current->SetSeekListener(this);
    }
    for (TAuInput* in : ended) {
        in->SetSeekListener(nullptr);
        EndQuietly(in);
    }
    {
        std::lock_guard<std::mutex> l(FChainLock);
        FEnding.clear();
    }
    if (ask) AskAgain();
    return true;
}

TAuInput* TAuOutput::TakeHeardInput() {
    return TakeFirst(FChainLock, FHeardInputs);
}

bool TAuOutput::AwaitingNext() const {
    std::lock_guard<std::mutex> l(FChainLock);
    return FAnswer == TChainAnswer::caWaiting;
}

TAuInput* TAuOutput::QueuedNext() const {
    std::lock_guard<std::mutex> l(FChainLock);
    return FNext;
}

void TAuOutput::ChainAskIfNear(int64_t LeadBytes, bool Ended) {
    TAuInput* in = FInput;
    if (!in) return;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FAsked) return;
        if (!Ended) {
            const int64_t size = in->DataSize();
            if (size > 0 && size - in->Delivered() > LeadBytes) return;
        }
        FAsked = true;
        FAnswer = TChainAnswer::caWaiting;
    }
    AskAgain();
}

void TAuOutput::AskAgain() {
    TNotifyEvent h = Handler(FOnNeedNext);
    if (h) {
        PostNotify(h);
    } else {
        std::lock_guard<std::mutex> l(FChainLock);
        FAnswer = TChainAnswer::caNone;  // nobody chains: the run ends with its input
    }
}

TAuOutput::TChainAnswer TAuOutput::ChainAnswer() {
    std::lock_guard<std::mutex> l(FChainLock);
    return FAnswer;
}

TAuOutput::TChainAnswer TAuOutput::ChainAwaitAnswer(std::chrono::milliseconds Timeout) {
    std::unique_lock<std::mutex> l(FChainLock);
    FChainAnswered.wait_for(
        l, Timeout, [this] { return FAnswer != TChainAnswer::caWaiting || StopRequested(); });
    return FAnswer;
}

TAuInput* TAuOutput::ChainReady(uint32_t Channels, uint32_t Rate, uint32_t Bits) {
    auto fits = [&](TAuInput* in) {
        return in->GetChannels() == Channels && in->GetSampleRate() == Rate &&
               in->GetBitsPerSample() == Bits;
    };
    TAuInput* next = nullptr;
    uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FNext == nullptr) return nullptr;
        if (FNextOpened) return FNext;  // opened earlier, and found fit then
        next = FOpening = FNext;
        serial = FNextSerial;
    }
    // The open may take long (a slow disk, a FIFO): the main thread may
    // answer anew meanwhile, and must never wait for it.
    std::string error;
    bool opened = false, fit = false;
    try {
        next->BeginRead();
        opened = true;
        fit = fits(next);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown error";
    }
    // A next input with nothing in it would be joined as a moment of
    // nothing and end the run with a reopen: passed over like a broken one.
    if (opened && next->DataSize() == 0) {
        opened = false;
        error = "The file holds no sound";
    }
    bool askAgain = false;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        FOpening = nullptr;
        if (serial == FNextSerial && FNext == next) {
            if (opened && fit) {
                FNextOpened = true;
                return next;
            }
            // Its free notification stays (only the main thread changes
            // those); a later removal of the input then finds nothing to do.
            FNext = nullptr;
            FNextOpened = false;
            ++FNextSerial;
            if (opened || ++FPassedOver > kMaxPassedOver) {
                // Another format: the run ends with the current input and
                // the caller starts the next one in a run of its own. So it
                // does after answer upon answer that could not be opened (a
                // list of broken files must not be asked round for ever).
                FAnswer = TChainAnswer::caNone;
            } else {
                FFailedNext.push_back({next, error});
                FAnswer = TChainAnswer::caWaiting;
                askAgain = true;
            }
        }
    }
    // A failed start still needs its EndRead.
    EndQuietly(next);
    if (askAgain) AskAgain();
    return nullptr;
}

TAuInput* TAuOutput::ChainHandOver(uint64_t EndBytes, bool KeepOld) {
    TAuInput* next = nullptr;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FNext == nullptr || !FNextOpened) return nullptr;  // dropped meanwhile
        next = FNext;
        FNext = nullptr;
        FNextOpened = false;
        ++FNextSerial;
        FAsked = false;
        FPassedOver = 0;
    }
    TAuInput* old = FInput.exchange(next);
    if (old != nullptr) {
        {
            std::lock_guard<std::mutex> l(FChainLock);
            FEnded.push_back(
                {old, old->Delivered(), old->DataSize(), old->SizeIsEstimate(), EndBytes});
        }
        // Ended once its end is heard (ChainHeard) and, crossfaded, once the
        // overlap no longer reads it (EndFadingOut), whichever comes last.
        old->SetSeekListener(nullptr);
        if (KeepOld) {
            EndFadingOut();  // one at a time
            std::lock_guard<std::mutex> l(FChainLock);
            FFading = old;
        }
    }
    next->SetSeekListener(this);
    {
        std::lock_guard<std::mutex> l(FChainLock);
        FUnheardInputs.push_back(next);
    }
    ++FUnheard;
    return next;
}

TAuInput* TAuOutput::FadingOut() const {
    std::lock_guard<std::mutex> l(FChainLock);
    return FFading;
}

void TAuOutput::EndFadingOut() {
    TAuInput* fading = nullptr;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        std::swap(fading, FFading);
        if (fading != nullptr && !Released(fading)) fading = nullptr;
    }
    if (fading != nullptr) EndQuietly(fading);
}

bool TAuOutput::Released(const TAuInput* input) const {
    return input != FFading && input != FInput.load() &&
           std::none_of(FEnded.begin(), FEnded.end(),
                        [input](const TEndedInput& e) { return e.Input == input; });
}

void TAuOutput::ChainHeard() {
    TNotifyEvent h = Handler(FOnTrackChange);
    TAuInput* ended = nullptr;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        if (FUnheardInputs.empty()) return;
        // Kept for the handler only; a handler that never takes them leaves
        // a short history, not a growing one.
        if (h) FHeardInputs.push_back(FUnheardInputs.front());
        if (FHeardInputs.size() > 64) FHeardInputs.pop_front();
        FUnheardInputs.pop_front();
        if (!FEnded.empty()) {
            ended = FEnded.front().Input;
            FEnded.pop_front();
            // Still read by a crossfade: EndFadingOut ends it.
            if (ended != nullptr && !Released(ended)) ended = nullptr;
        }
    }
    if (ended != nullptr) EndQuietly(ended);
    --FUnheard;
    if (h) PostNotify(h);
}

void TAuOutput::ChainRelease() {
    EndFadingOut();
    TAuInput* ended = nullptr;
    std::vector<TAuInput*> endsUnheard;
    {
        std::lock_guard<std::mutex> l(FChainLock);
        for (const TEndedInput& e : FEnded)
            if (e.Input != nullptr && e.Input != FInput.load()) endsUnheard.push_back(e.Input);
        FRetracted.clear();
        FRetractionsSeen = FRetractions.load();  // a run takes back nothing of an earlier one
        if (FNext != nullptr && FNextOpened) ended = FNext;
        FNext = nullptr;
        FNextOpened = false;
        ++FNextSerial;
        FAsked = false;
        FAnswer = TChainAnswer::caNone;
        FUnheardInputs.clear();
        FEnded.clear();
        FFailedNext.clear();
        FPassedOver = 0;
        FUnheard = 0;
    }
    if (ended != nullptr) EndQuietly(ended);
    for (TAuInput* in : endsUnheard) EndQuietly(in);
}

}  // namespace quillet
