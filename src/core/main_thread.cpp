#include "main_thread.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace quillet {
namespace {

struct PendingCall {
    const std::function<void()>* call;
    bool done = false;
};

struct Queue {
    std::mutex lock;
    std::condition_variable posted;  // a call was queued
    std::condition_variable ran;     // a call finished
    std::deque<PendingCall*> calls;
    std::function<void()> wakeUp;
    std::function<void(std::exception_ptr)> onError;
    std::thread::id mainId = std::this_thread::get_id();
};

Queue& Q() {
    static Queue q;
    return q;
}
// Built during static initialisation, on the program's main thread, so the
// main thread is known before any worker can ask.
[[maybe_unused]] const bool gQueueBuilt = (Q(), true);

void RunGuarded(const std::function<void()>& call) {
    try {
        call();
    } catch (...) {
        std::function<void(std::exception_ptr)> handler;
        {
            std::lock_guard<std::mutex> l(Q().lock);
            handler = Q().onError;
        }
        if (handler) {
            handler(std::current_exception());
        } else {
            try {
                throw;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "quillet: %s\n", e.what());
            } catch (...) {
                std::fprintf(stderr, "quillet: unknown error in a handler\n");
            }
        }
    }
}

}  // namespace

void SetMainThread() {
    std::lock_guard<std::mutex> l(Q().lock);
    Q().mainId = std::this_thread::get_id();
}

bool IsMainThread() {
    std::lock_guard<std::mutex> l(Q().lock);
    return Q().mainId == std::this_thread::get_id();
}

void SetMainThreadWakeUp(std::function<void()> wakeUp) {
    std::lock_guard<std::mutex> l(Q().lock);
    Q().wakeUp = std::move(wakeUp);
}

void SetMainThreadErrorHandler(std::function<void(std::exception_ptr)> handler) {
    std::lock_guard<std::mutex> l(Q().lock);
    Q().onError = std::move(handler);
}

void Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        RunGuarded(call);
        return;
    }
    Queue& q = Q();
    PendingCall pending{&call};
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> l(q.lock);
        q.calls.push_back(&pending);
        wake = q.wakeUp;
    }
    q.posted.notify_all();
    if (wake) wake();
    std::unique_lock<std::mutex> l(q.lock);
    q.ran.wait(l, [&] { return pending.done; });
}

bool CheckSynchronize(std::chrono::milliseconds timeout) {
    Queue& q = Q();
    bool ranAny = false;
    std::unique_lock<std::mutex> l(q.lock);
    if (q.calls.empty() && timeout.count() > 0)
        q.posted.wait_for(l, timeout, [&] { return !q.calls.empty(); });
    while (!q.calls.empty()) {
        PendingCall* p = q.calls.front();
        q.calls.pop_front();
        l.unlock();
        RunGuarded(*p->call);
        l.lock();
        p->done = true;
        ranAny = true;
        q.ran.notify_all();
    }
    return ranAny;
}

}  // namespace quillet
