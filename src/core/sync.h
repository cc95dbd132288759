// Threading primitives the framework is written against: an auto-reset event
// and a thread that is created suspended and can park itself between runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillet {

// Auto-reset event: Set() releases exactly one waiter (or the next Wait()).
class TAutoResetEvent {
  public:
    void Set();
    void Reset();
    // Returns true when signalled, false on time-out.
    bool WaitFor(std::chrono::milliseconds timeout);

  private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled = false;
};

// A thread that is created suspended. Execute() runs on the thread once it is
// first resumed; it may park itself with Suspend() until the next Resume().
// The OS thread is created at the first Resume(), so Execute() never runs
// before the derived object is fully constructed.
//
// Threads: Resume/Terminate/WaitFor from any thread but the worker itself;
// Suspend only from the worker; Suspended/Terminated from anywhere.
class TWorkerThread {
  public:
    TWorkerThread() = default;
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Lets a suspended thread go on (or starts it the first time).
    void Resume();
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    // True while the thread is parked (or not yet started).
    bool Suspended() const { return FSuspended.load(); }
    // True once Execute() has returned.
    bool Finished() const { return FFinished.load(); }
    // Joins the thread (returns at once when it was never started).
    void WaitFor();

  protected:
    virtual void Execute() = 0;
    // Called by Terminate (any thread): a body that waits on something of
    // its own wakes it here, so it needs no timed wait to see the end.
    virtual void Terminating() {}
    // Parks the calling worker until Resume() (or Terminate()).
    void Suspend();

  private:
    std::thread FThread;
    std::mutex FLock;
    std::condition_variable FCond;
    bool FResumeRequested = false;  // under FLock
    std::atomic<bool> FSuspended{true};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
};

}  // namespace quillet
