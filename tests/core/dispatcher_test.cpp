// The event dispatcher: purge and mute on a waiting stop, ordering across
// sinks, the main-thread call queue, and the dispatcher's end.
#include <gtest/gtest.h>

#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

TEST(Dispatcher, ExistsWhileASinkDoesAndEndsSoonAfterTheLast) {
    EXPECT_EQ(AuEventHandler(), nullptr);
    auto* a = new MemorySink;
    TEventHandler* d = AuEventHandler();
    ASSERT_NE(d, nullptr);
    {
        MemorySink b;
        EXPECT_EQ(AuEventHandler(), d);  // one for the process
    }
    EXPECT_EQ(AuEventHandler(), d);
    const auto t0 = std::chrono::steady_clock::now();
    TComponent::Free(a);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(AuEventHandler(), nullptr);
    EXPECT_LT(took, 2s);  // about 100 ms; generous for loaded machines
}

TEST(Dispatcher, EventsQueuedBeforeAWaitingStopAreNeverRun) {
    SyntheticSource src({.frames = 200000, .blockBytes = 400});
    MemorySink sink;
    sink.ChunkBytes = 400;  // a progress change every few steps
    int progress = 0;
    sink.SetOnProgress([&](TComponent*) { ++progress; });
    sink.SetInput(&src);
    sink.Paced = true;
    sink.Start();
    sink.Step(2000);
    // Without pumping, progress events pile up in the dispatcher.
    while (sink.Steps < 2000) std::this_thread::sleep_for(1ms);
    sink.Stop(false);
    EXPECT_EQ(progress, 0);
    for (int i = 0; i < 20; ++i) CheckSynchronize(5ms);
    EXPECT_EQ(progress, 0);
}

TEST(Dispatcher, TwoSinksInterleaveInPostingOrder) {
    SyntheticSource a({.frames = 200000}), b({.frames = 200000});
    MemorySink sa, sb;
    sa.Paced = true;
    sb.Paced = true;
    sa.ChunkBytes = sb.ChunkBytes = 8000;  // one percent a step
    std::vector<std::string> log;
    sa.SetOnProgress([&](TComponent*) { log.push_back("a" + std::to_string(sa.Progress())); });
    sb.SetOnProgress([&](TComponent*) { log.push_back("b" + std::to_string(sb.Progress())); });
    sa.SetInput(&a);
    sb.SetInput(&b);
    sa.Start();
    sb.Start();
    for (int i = 1; i <= 3; ++i) {
        sa.Step();
        ASSERT_TRUE(
            PumpUntil([&] { return !log.empty() && log.back() == "a" + std::to_string(i); }));
        sb.Step();
        ASSERT_TRUE(
            PumpUntil([&] { return !log.empty() && log.back() == "b" + std::to_string(i); }));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "a2", "b2", "a3", "b3"}));
    sa.Stop(false);
    sb.Stop(false);
}

TEST(Dispatcher, MutedSendersEventsAreDroppedOthersKept) {
    AcquireEventHandler();
    TEventHandler* d = AuEventHandler();
    TComponent a, b;
    std::vector<std::string> log;
    d->Mute(&a);
    d->PostProgress(&a, [&](TComponent*) { log.push_back("a"); });
    d->PostNotify(&b, [&](TComponent*) { log.push_back("b"); });
    d->Unmute();
    d->PostNotify(&a, [&](TComponent*) { log.push_back("a2"); });
    ASSERT_TRUE(PumpUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"b", "a2"}));
    ReleaseEventHandler();
}

TEST(MainThreadQueue, CallsRunInOrderOnTheMainThreadAndTheCallerWaits) {
    const auto mainId = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<int> returned{0};
    std::thread t([&] {
        for (int i = 0; i < 3; ++i) {
            Synchronize([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), mainId);
                order.push_back(i);
            });
            ++returned;
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return returned == 3; }));
    t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    Synchronize([&] { order.push_back(9); });  // on the main thread: at once
    EXPECT_EQ(order.back(), 9);
}

TEST(MainThreadQueue, AnErrorInACallGoesToTheErrorHandler) {
    std::string seen;
    SetMainThreadErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            seen = x.what();
        }
    });
    std::thread t([] { Synchronize([] { throw EAuException("boom"); }); });
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    t.join();
    EXPECT_EQ(seen, "boom");
    SetMainThreadErrorHandler(nullptr);
}

// A waiting Stop and a new Start made while the dispatcher still holds the
// old run's OnDone: the new run's own events must all arrive.
TEST(Dispatcher, ARunStartedRightAfterAnotherEndsKeepsItsEvents) {
    MemorySink sink;
    int done = 0, errors = 0;
    sink.SetOnDone([&](TComponent*) { ++done; });
    sink.SetOnThreadException([&](TComponent*) { ++errors; });
    for (int round = 0; round < 20; ++round) {
        SyntheticSource shortOne({.frames = 10});
        SyntheticSource failing({.openError = "Unable to open"});
        sink.SetInput(&shortOne);
        sink.Start();
        // Not pumping: the dispatcher takes the OnDone and waits for the idle worker.
        while (sink.Active()) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(2ms);
        sink.Stop(false);
        sink.SetInput(&failing);
        const int before = done;
        sink.Start();
        ASSERT_TRUE(PumpUntil([&] { return done == before + 1; }, 3s)) << "round " << round;
        sink.SetInput(nullptr);
    }
    EXPECT_EQ(errors, 20);
}

// A sink freed inside its own handler: with another sink keeping the
// dispatcher alive, and as the last sink of all.
TEST(Dispatcher, ASinkFreedByItsOwnHandlerEndsCleanly) {
    for (bool another : {true, false}) {
        std::unique_ptr<MemorySink> keeper = another ? std::make_unique<MemorySink>() : nullptr;
        SyntheticSource src({.frames = 100});
        auto* sink = new MemorySink;
        bool freed = false;
        sink->SetOnDone([&](TComponent*) {
            TComponent::Free(sink);
            freed = true;
        });
        sink->SetInput(&src);
        sink->Start();
        ASSERT_TRUE(PumpUntil([&] { return freed; }, 5s)) << another;
        keeper.reset();
        ASSERT_TRUE(PumpUntil([] { return AuEventHandler() == nullptr; }, 5s)) << another;
    }
}

}  // namespace
