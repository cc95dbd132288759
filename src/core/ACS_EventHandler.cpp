// The event dispatcher: carries the workers' events to the main thread.
#include <algorithm>
#include <iterator>
#include <thread>
#include <vector>

#include "ACS_Classes.h"
#include "main_thread.h"

namespace quillet {

using namespace std::chrono_literals;

namespace {
std::mutex gDispatcherLock;  // guards the three below
TEventHandler* gDispatcher = nullptr;
int32_t gSinkCount = 0;
// Dispatchers that ended inside one of their own handlers (the last sink
// freed by its own event): they finish once that handler returns, and are
// joined and freed here later, never by the call that is still inside them.
std::vector<TEventHandler*> gEnding;

void ReapEnded() {
    std::vector<TEventHandler*> done;
    {
        std::lock_guard<std::mutex> l(gDispatcherLock);
        auto finished = [](TEventHandler* d) { return d->Finished(); };
        std::copy_if(gEnding.begin(), gEnding.end(), std::back_inserter(done), finished);
        gEnding.erase(std::remove_if(gEnding.begin(), gEnding.end(), finished), gEnding.end());
    }
    for (TEventHandler* d : done) {
        d->WaitFor();
        delete d;
    }
}

// At exit, whatever is still ending gets its moment to finish.
struct TEndingReaper {
    ~TEndingReaper() {
        for (int i = 0; i < 100; ++i) {
            {
                std::lock_guard<std::mutex> l(gDispatcherLock);
                if (gEnding.empty()) return;
            }
            ReapEnded();
            std::this_thread::sleep_for(10ms);
        }
    }
} gEndingReaper;
}  // namespace

TEventHandler* AuEventHandler() {
    std::lock_guard<std::mutex> l(gDispatcherLock);
    return gDispatcher;
}

void AcquireEventHandler() {
    ReapEnded();
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
    if (!ending) {
        ReapEnded();
        return;
    }
    ending->Terminate();
    if (ending->Dispatching()) {
        std::lock_guard<std::mutex> l(gDispatcherLock);
        gEnding.push_back(ending);
        return;
    }
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

bool TEventHandler::Dispatching() {
    std::lock_guard<std::mutex> l(FQueueLock);
    return FDispatching;
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
            // Called from inside that very record's handler (a sink freed by
            // its own OnDone): the record is done with once the handler
            // returns, and waiting here would wait for ourselves.
            if (!wait || FDispatching) return;
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
                // A cancelled record's sink has moved on (a waiting Stop, then
                // perhaps a new Start): what it queued since belongs to the
                // new run and must be kept.
                if (!cancelled) Purge(FCurrent.Sender);
            }
            if (!cancelled && !Terminated()) Synchronize([this] { DispatchStep(); });
            std::lock_guard<std::mutex> l(FQueueLock);
            FHasCurrent = false;
            FCurrent = TPendingEvent{};
        }
        // Woken by a post or by Terminate: an idle player never wakes here.
        FWakeEvent.WaitFor(std::chrono::hours(24));
    }
}

void TEventHandler::DispatchStep() {
    TPendingEvent record;
    {
        std::lock_guard<std::mutex> l(FQueueLock);
        if (FCurrentCancelled) return;
        record = FCurrent;
        FDispatching = true;
    }
    struct TEndDispatch {
        TEventHandler& D;
        ~TEndDispatch() {
            std::lock_guard<std::mutex> l(D.FQueueLock);
            D.FDispatching = false;
        }
    } end{*this};
    switch (record.Kind) {
        case pkProgress:
        case pkDone:
        case pkNotify:
            if (record.Handler) record.Handler(record.Sender);
            break;
    }
}

}  // namespace quillet
