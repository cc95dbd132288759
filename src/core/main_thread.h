// The cross-thread call queue: another thread hands a call to the main (GUI)
// thread and blocks until it has run there. The main thread serves pending
// calls from its event loop (the Qt app wakes its loop through the wake-up
// hook) and on demand, as a waiting Stop does while it waits.
//
// "Main thread" is the thread that first uses the queue or calls
// SetMainThread(); in the player and the tests that is the program's main().
#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace quillet {

// Runs `call` on the main thread and waits until it is done. Called on the
// main thread itself, it runs the call at once.
void Synchronize(const std::function<void()>& call);

// Main thread only: runs every pending call, waiting up to `timeout` for the
// first one when none is pending. Returns true when at least one call ran.
bool CheckSynchronize(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

// Called on the posting thread after each post, so an event loop can wake up
// and call CheckSynchronize. Set it once at start-up (before any sink exists).
void SetMainThreadWakeUp(std::function<void()> wakeUp);

// An error that escapes a call run on the main thread is given to this
// handler (the app shows it; the default writes it to stderr), so one failing
// handler cannot take the dispatcher down.
void SetMainThreadErrorHandler(std::function<void(std::exception_ptr)> handler);

void SetMainThread();
bool IsMainThread();

}  // namespace quillet
