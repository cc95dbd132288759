// Sinks: the worker's run loop, Start/Stop/Pause/Resume and progress.
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
            out.FActive = true;  // before preparing, so a failure is still cleaned up
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
                    if (!FPausedNow && !FStopRequest) FPauseSignal.Set();
                    FPausedNow = true;
                    std::this_thread::sleep_for(50ms);
                    continue;
                }
                if (FPausedNow && !FStopRequest) FPauseSignal.Set();
                FPausedNow = false;
                running = out.OutputBlock(FStopRequest);
            }
        } catch (const std::exception& e) {
            // Every error, not only the framework's own, ends the run here:
            // nothing may escape the worker.
            out.SetLastError(e.what());
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
    if (TAuInput* in = FInput.exchange(nullptr)) in->RemoveFreeNotification(this);
    if (FRegistered) {
        FRegistered = false;
        ReleaseEventHandler();
    }
}

void TAuOutput::Start() {
    SetLastError({});
    if (FActive) throw EAuException("Component is Busy");
    if (!FInput) throw EAuException("Input is not assigned");
    if (FWorker && FWorker->Suspended()) {
        FWorker->FStopRequest = false;
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
    if (holding) FWorker->FPauseSignal.WaitFor(10000ms);
}

int32_t TAuOutput::GetProgress() {
    TAuInput* in = FInput;
    if (!in) return 0;
    const int64_t size = in->DataSize();
    if (size == -1) return -1;
    if (size == 0) return 0;
    return static_cast<int32_t>(
        std::nearbyint(static_cast<double>(in->Delivered()) / static_cast<double>(size) * 100.0));
}

void TAuOutput::FinishRun() {
    if (!FActive) return;
    FFeeding = false;
    ReleaseOutput();
    FActive = false;
}

void TAuOutput::AssignInput(TAuInput* Value) {
    auto store = [&] {
        TAuInput* old = FInput.exchange(Value);
        if (old && old != Value) old->RemoveFreeNotification(this);
        if (Value) Value->FreeNotification(this);
    };
    if (FActive) {
        Stop(false);
        store();
        Start();
    } else {
        store();
    }
}

void TAuOutput::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == FInput.load()) {
        // Removing the source of an active run stops it; the restart that
        // AssignInput then attempts finds no input and is dropped, so the
        // source's destruction goes on and the sink ends idle.
        try {
            AssignInput(nullptr);
        } catch (const Exception&) {
        }
    }
    TComponent::Notification(component, operation);
}

std::string TAuOutput::LastError() const {
    std::lock_guard<std::mutex> l(FEventLock);
    return FLastError;
}

void TAuOutput::SetLastError(const std::string& message) {
    std::lock_guard<std::mutex> l(FEventLock);
    FLastError = message;
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

}  // namespace quillet
