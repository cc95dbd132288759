// The event dispatcher: carries the workers' events to the main thread.
#include <algorithm>
#include <thread>

#include "ACS_Classes.h"
#include "main_thread.h"

namespace quillet {

using namespace std::chrono_literals;

namespace {
std::mutex gDispatcherLock;  // guards the two below
TEventHandler* gDispatcher = nullptr;
int32_t gSinkCount = 0;
}  // namespace

TEventHandler* AuEventHandler() {
    std::lock_guard<std::mutex> l(gDispatcherLock);
    return gDispatcher;
}

void AcquireEventHandler() {
    std::lock_guard<std::mutex> l(gDispatcherLock);
    if (gSinkCount == 0) {
        gDispatcher = new TEventHandler();
        gDispatcher->Resume();
    }
    ++gSinkCount;
}

void ReleaseEventHandler() {
    TEventHandler* ending = nullptr;
    {
        std::lock_guard<std::mutex> l(gDispatcherLock);
        if (--gSinkCount == 0) {
            ending = gDispatcher;
            gDispatcher = nullptr;
        }
    }
    if (!ending) return;
    ending->Terminate();
    // The dispatcher may be blocked handing a call to this thread: serve it
    // until the thread has ended.
    while (!ending->Finished()) CheckSynchronize(5ms);
    ending->WaitFor();
    delete ending;
}

TEventHandler::TEventHandler() = default;

TEventHandler::~TEventHandler() {
    Terminate();
    WaitFor();
}

void TEventHandler::Post(TPendingEventKind kind, TComponent* Sender, TWorkerThread* Thread,
                         const TNotifyEvent& Handler) {
    {
        std::lock_guard<std::mutex> l(FQueueLock);
        if (Sender != FMutedSender) FQueue.push_back(TPendingEvent{kind, Sender, Handler, Thread});
    }
    FWakeEvent.Set();
}

void TEventHandler::PostProgress(TComponent* Sender, const TNotifyEvent& Handler) {
    Post(pkProgress, Sender, nullptr, Handler);
}

void TEventHandler::PostDone(TComponent* Sender, TWorkerThread* Thread,
                             const TNotifyEvent& Handler) {
    Post(pkDone, Sender, Thread, Handler);
}

void TEventHandler::PostNotify(TComponent* Sender, const TNotifyEvent& Handler) {
    Post(pkNotify, Sender, nullptr, Handler);
}

void TEventHandler::Mute(TComponent* Sender) {
    std::lock_guard<std::mutex> l(FQueueLock);
    FMutedSender = Sender;
}

void TEventHandler::Unmute() {
    std::lock_guard<std::mutex> l(FQueueLock);
    FMutedSender = nullptr;
}

void TEventHandler::Purge(TComponent* Sender) {
    std::lock_guard<std::mutex> l(FQueueLock);
    FQueue.erase(std::remove_if(FQueue.begin(), FQueue.end(),
                                [&](const TPendingEvent& e) { return e.Sender == Sender; }),
                 FQueue.end());
}

void TEventHandler::Cancel(TComponent* Sender, bool wait) {
    Purge(Sender);
    for (;;) {
        {
            std::lock_guard<std::mutex> l(FQueueLock);
            if (!FHasCurrent || FCurrent.Sender != Sender) return;
            FCurrentCancelled = true;
            if (!wait) return;
        }
        CheckSynchronize(5ms);
    }
}

void TEventHandler::Execute() {
    while (!Terminated()) {
        for (;;) {
            {
                std::lock_guard<std::mutex> l(FQueueLock);
                if (FQueue.empty() || Terminated()) break;
                FCurrent = std::move(FQueue.front());
                FQueue.pop_front();
                FHasCurrent = true;
                FCurrentCancelled = false;
            }
            bool cancelled = false;
            if (FCurrent.Kind == pkDone) {
                // OnDone only once the worker is idle, so its handler may
                // start the next run at once.
                for (;;) {
                    {
                        std::lock_guard<std::mutex> l(FQueueLock);
                        cancelled = FCurrentCancelled;
                    }
                    if (cancelled || Terminated() || FCurrent.Thread->Suspended()) break;
                    std::this_thread::sleep_for(10ms);
                }
                Purge(FCurrent.Sender);
            }
            if (!cancelled && !Terminated()) Synchronize([this] { DispatchStep(); });
            std::lock_guard<std::mutex> l(FQueueLock);
            FHasCurrent = false;
            FCurrent = TPendingEvent{};
        }
        FWakeEvent.WaitFor(100ms);
    }
}

void TEventHandler::DispatchStep() {
    TPendingEvent record;
    {
        std::lock_guard<std::mutex> l(FQueueLock);
        if (FCurrentCancelled) return;
        record = FCurrent;
    }
    switch (record.Kind) {
        case pkProgress:
        case pkDone:
        case pkNotify:
            if (record.Handler) record.Handler(record.Sender);
            break;
    }
}

}  // namespace quillet
