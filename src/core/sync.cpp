#include "sync.h"

namespace quillet {

void TAutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> l(FLock);
        FSignalled = true;
    }
    FCond.notify_one();
}

void TAutoResetEvent::Reset() {
    std::lock_guard<std::mutex> l(FLock);
    FSignalled = false;
}

bool TAutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(FLock);
    if (!FCond.wait_for(l, timeout, [this] { return FSignalled; })) return false;
    FSignalled = false;
    return true;
}

TWorkerThread::~TWorkerThread() {
    // A derived destructor normally ends the thread; this is the backstop.
    Terminate();
    WaitFor();
}

void TWorkerThread::Resume() {
    std::lock_guard<std::mutex> l(FLock);
    if (!FSuspended) return;
    FSuspended = false;
    if (!FThread.joinable() && !FFinished) {
        FThread = std::thread([this] {
            Execute();
            FFinished = true;
        });
        return;
    }
    FResumeRequested = true;
    FCond.notify_all();
}

void TWorkerThread::Terminate() {
    {
        std::lock_guard<std::mutex> l(FLock);
        FTerminated = true;
    }
    Terminating();
}

void TWorkerThread::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TWorkerThread::Suspend() {
    std::unique_lock<std::mutex> l(FLock);
    FSuspended = true;
    FCond.wait(l, [this] { return FResumeRequested; });
    FResumeRequested = false;
}

}  // namespace quillet
