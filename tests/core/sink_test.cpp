// The sink and its worker: runs, stops, pauses, failures, input changes, and
// a random storm of commands under a watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

struct Events {
    std::vector<std::string> log;
    std::thread::id mainId = std::this_thread::get_id();
    bool offMain = false;
    int done = 0, progress = 0, errors = 0;
    void Attach(TAuOutput& out, const std::string& tag = {}) {
        out.SetOnDone([this, tag](TComponent*) {
            check();
            ++done;
            log.push_back(tag + "done");
        });
        out.SetOnProgress([this, tag, &out](TComponent*) {
            check();
            ++progress;
            log.push_back(tag + "p" + std::to_string(out.Progress()));
        });
        out.SetOnThreadException([this, tag, &out](TComponent*) {
            check();
            ++errors;
            log.push_back(tag + "error:" + out.LastError());
        });
    }
    void check() {
        if (std::this_thread::get_id() != mainId) offMain = true;
    }
};

TEST(Sink, RunDeliversEveryByteThenProgressThenDoneOnTheMainThread) {
    SyntheticSource src({.frames = 50000});
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    sink.SetInput(&src);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
    EXPECT_FALSE(ev.offMain);
    EXPECT_FALSE(sink.Active());
    EXPECT_EQ(sink.Data(), PatternBytes(0, 200000));
    ASSERT_GE(ev.log.size(), 2u);
    EXPECT_EQ(ev.log.back(), "done");
    // Every progress event comes before OnDone, in rising order.
    EXPECT_EQ(std::count(ev.log.begin(), ev.log.end(), "done"), 1);
    int last = -1;
    for (size_t i = 0; i + 1 < ev.log.size(); ++i) {
        const int p = std::stoi(ev.log[i].substr(1));
        EXPECT_GE(p, last);  // the handler reads the value current when it runs
        last = p;
    }
    EXPECT_GE(last, 90);
    EXPECT_EQ(sink.Releases, 1);
    EXPECT_FALSE(src.Active());
}

TEST(Sink, OnDoneHandlerMayStartTheNextRunAtOnce) {
    SyntheticSource src({.frames = 2000});
    MemorySink sink;
    int runs = 0;
    sink.SetOnDone([&](TComponent*) {
        if (++runs < 5) sink.Start();  // the worker is idle here
    });
    sink.SetInput(&src);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return runs == 5; }));
    EXPECT_EQ(sink.Prepares, 5);
    EXPECT_EQ(sink.Data().size(), 5u * 8000);
}

TEST(Sink, StartTwiceAndStartWithoutInput) {
    MemorySink sink;
    try {
        sink.Start();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned");
    }
    SyntheticSource src({.frames = 100000});
    sink.Paced = true;
    sink.SetInput(&src);
    sink.Start();
    try {
        sink.Start();  // busy, or the worker is already running: never a second run
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Component is Busy");
    }
    ASSERT_TRUE(PumpUntil([&] { return sink.Active(); }));
    try {
        sink.Start();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Component is Busy");
    }
    sink.Stop(false);
    EXPECT_EQ(sink.Prepares, 1);
}

TEST(Sink, WaitingStopEndsTheRunWithoutOnDone) {
    SyntheticSource src({.frames = 100000});
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    sink.Paced = true;
    sink.SetInput(&src);
    sink.Stop(false);  // idle: returns at once, posts nothing
    sink.Start();
    sink.Step(3);
    ASSERT_TRUE(PumpUntil([&] { return sink.Steps == 3; }));
    sink.Stop(false);
    EXPECT_FALSE(sink.Active());
    EXPECT_FALSE(src.Active());
    // Give a stray event every chance to arrive.
    for (int i = 0; i < 20; ++i) CheckSynchronize(5ms);
    EXPECT_EQ(ev.done, 0);
    // Ready for another run.
    sink.Paced = false;
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
}

TEST(Sink, NoWaitStopPostsOnDone) {
    SyntheticSource src({.frames = 100000});
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    sink.Paced = true;
    sink.SetInput(&src);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return sink.Active(); }));
    sink.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
    EXPECT_FALSE(sink.Active());
}

TEST(Sink, StopFromOnDoneReturnsAtOnceAndFromOnProgressWaitsForTheEnd) {
    SyntheticSource src({.frames = 20000});
    MemorySink sink;
    bool stoppedInDone = false;
    sink.SetOnDone([&](TComponent*) {
        sink.Stop(false);
        stoppedInDone = true;
    });
    sink.SetInput(&src);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return stoppedInDone; }));

    SyntheticSource src2({.frames = 100000});
    MemorySink sink2;
    sink2.Paced = true;
    bool stoppedInProgress = false, sawActive = true;
    int done = 0;
    sink2.SetOnDone([&](TComponent*) { ++done; });
    sink2.SetOnProgress([&](TComponent*) {
        if (stoppedInProgress) return;
        sink2.Stop(false);  // the worker ends the run without help
        stoppedInProgress = true;
        sawActive = sink2.Active();
    });
    sink2.SetInput(&src2);
    sink2.Start();
    sink2.Step(1000);
    ASSERT_TRUE(PumpUntil([&] { return stoppedInProgress; }));
    EXPECT_FALSE(sawActive);
    for (int i = 0; i < 10; ++i) CheckSynchronize(5ms);
    EXPECT_EQ(done, 0);
}

TEST(Sink, PauseAndResume) {
    MemorySink sink;
    EXPECT_THROW(sink.Pause(), EAuException);  // "Input is not assigned."
    try {
        sink.Pause();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned.");
    }
    SyntheticSource src({.frames = 100000});
    sink.SetInput(&src);
    sink.Pause();  // idle: nothing
    sink.Resume();
    sink.Paced = true;
    Events ev;
    ev.Attach(sink);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return sink.Active(); }));
    sink.Pause();  // returns once the worker holds
    const int steps = sink.Steps;
    sink.Step(5);
    for (int i = 0; i < 10; ++i) CheckSynchronize(5ms);
    EXPECT_EQ(sink.Steps, steps);  // no output while paused
    sink.Resume();
    ASSERT_TRUE(PumpUntil([&] { return sink.Steps >= steps + 5; }));
    sink.Pause();
    sink.Stop(true);  // a paused run ends and reports OnDone
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
    EXPECT_FALSE(sink.Active());
}

TEST(Sink, PreparationFailureReportsErrorThenDoneAndStaysUsable) {
    SyntheticSource bad({.openError = "Unable to open"});
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    sink.SetInput(&bad);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
    EXPECT_EQ(ev.log, (std::vector<std::string>{"error:Unable to open", "done"}));
    EXPECT_EQ(sink.LastError(), "Unable to open");
    EXPECT_FALSE(sink.Active());
    EXPECT_FALSE(bad.Active());  // the failed start was ended

    SyntheticSource good({.frames = 1000});
    sink.PrepareError = "Device gone";
    sink.SetInput(&good);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 2; }));
    EXPECT_EQ(ev.errors, 2);
    EXPECT_FALSE(good.Active());
    sink.PrepareError.clear();
    sink.Start();
    EXPECT_EQ(sink.LastError(), "");
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 3; }));
    EXPECT_EQ(ev.errors, 2);
}

// The input cleared or freed between Start and the worker's run: the run
// must never start a source that is gone.
TEST(Sink, AnInputGoneRightAfterStartIsNeverStarted) {
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    for (int i = 0; i < 200; ++i) {
        auto* src = new SyntheticSource({.frames = 1000});
        sink.SetInput(src);
        sink.Start();
        try {
            if (i % 2 == 0) sink.SetInput(nullptr);
        } catch (const EAuException&) {
            // "Input is not assigned": clearing stops the run, whose restart
            // then finds no input.
        }
        TComponent::Free(src);
        sink.Stop(false);
        EXPECT_EQ(sink.Input(), nullptr);
        EXPECT_FALSE(sink.Active());
    }
    EXPECT_FALSE(ev.offMain);
}

TEST(Sink, AssigningInputWhilePlayingRestartsWithTheNewSource) {
    SyntheticSource a({.frames = 100000});
    SyntheticSource b({.frames = 3000});
    MemorySink sink;
    Events ev;
    ev.Attach(sink);
    sink.Paced = true;
    sink.SetInput(&a);
    sink.Start();
    sink.Step(2);
    ASSERT_TRUE(PumpUntil([&] { return sink.Steps == 2; }));
    sink.SetInput(&b);
    EXPECT_FALSE(a.Active());
    sink.ClearData();
    sink.Paced = false;
    sink.Step(100000);
    ASSERT_TRUE(PumpUntil([&] { return ev.done == 1; }));
    EXPECT_EQ(sink.Data(), PatternBytes(0, 12000));
}

TEST(Sink, DestroyingTheInputClearsItIdleOrPlaying) {
    MemorySink sink;
    auto* idle = new SyntheticSource({.frames = 100});
    sink.SetInput(idle);
    TComponent::Free(idle);
    EXPECT_EQ(sink.Input(), nullptr);
    EXPECT_THROW(sink.Start(), EAuException);

    auto* playing = new SyntheticSource({.frames = 1000000});
    sink.Paced = true;
    sink.SetInput(playing);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return sink.Active(); }));
    TComponent::Free(playing);  // stops the run first; the source is whole meanwhile
    EXPECT_EQ(sink.Input(), nullptr);
    EXPECT_FALSE(sink.Active());
}

TEST(Sink, ProgressIsMinusOneForAnUnknownSize) {
    SyntheticSource src({.frames = 20000, .unknownSize = true});
    MemorySink sink;
    std::vector<int> seen;
    bool done = false;
    sink.SetOnProgress([&](TComponent*) { seen.push_back(sink.Progress()); });
    sink.SetOnDone([&](TComponent*) { done = true; });
    EXPECT_EQ(sink.Progress(), 0);  // no input
    sink.SetInput(&src);
    sink.Start();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_EQ(seen, std::vector<int>{-1});
}

// Thousands of random commands from the main thread: no deadlock, no leak,
// the sink idle at the end. The seed is printed so a failure can be replayed.
TEST(Sink, RandomCommandStorm) {
    const unsigned seed = std::random_device{}();
    std::printf("storm seed %u\n", seed);
    std::mt19937 rng(seed);
    SyntheticSource src({.frames = 3000, .blockBytes = 512});
    MemorySink sink;
    sink.ChunkBytes = 1024;
    int done = 0;
    sink.SetOnDone([&](TComponent*) { ++done; });
    sink.SetOnProgress([&](TComponent*) {});
    sink.SetInput(&src);
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1200 && !finished; ++i) std::this_thread::sleep_for(100ms);
        if (!finished) {
            std::fprintf(stderr, "watchdog: storm hung (seed %u)\n", seed);
            std::abort();
        }
    });
    for (int i = 0; i < 3000; ++i) {
        try {
            switch (rng() % 6) {
                case 0:
                    sink.Start();
                    break;
                case 1:
                    sink.Stop(false);
                    break;
                case 2:
                    sink.Stop(true);
                    break;
                case 3:
                    sink.Pause();
                    break;
                case 4:
                    sink.Resume();
                    break;
                case 5:
                    CheckSynchronize(1ms);
                    break;
            }
        } catch (const EAuException&) {
            // "Component is Busy" is an expected answer here.
        }
    }
    sink.Resume();
    sink.Stop(false);
    finished = true;
    watchdog.join();
    EXPECT_FALSE(sink.Active());
    EXPECT_FALSE(src.Active());
}

}  // namespace

namespace {

// Decodes into one fixed buffer, as the FLAC input does, and a seek decodes
// the target block into that same buffer. Every block is one byte value
// repeated, so a block changed while it was being copied shows as mixed.
class InPlaceSource : public SyntheticSource {
  public:
    using SyntheticSource::SyntheticSource;

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        Bytes = std::min<uint32_t>(Bytes, sizeof FStore);
        Fill();
        Buffer = FStore;
    }
    bool SeekToSample(int64_t& SampleNum) override {
        Fill();
        return SyntheticSource::SeekToSample(SampleNum);
    }

  private:
    void Fill() { std::memset(FStore, ++FValue, sizeof FStore); }
    uint8_t FStore[4096];
    uint8_t FValue = 0;
};

}  // namespace

// The position bar seeks on the main thread while the worker copies blocks
// out of the source; the block being copied must not be decoded over. (Under
// ThreadSanitizer a copy outside the source's lock is reported even when no
// byte happens to be mixed.)
TEST(Sink, SeeksFromAnotherThreadNeverChangeABlockBeingCopied) {
    InPlaceSource src({.frames = int64_t{1} << 40});
    src.BeginRead();
    std::atomic<bool> copying{true};
    size_t mixed = 0;
    std::thread worker([&] {
        std::vector<uint8_t> block(4096);
        for (int i = 0; i < 20000; ++i) {
            ASSERT_EQ(src.CopyBlock(block.data(), 4096), 4096);
            if (std::count(block.begin(), block.end(), block[0]) != 4096) ++mixed;
            std::this_thread::yield();  // as a sink waits for room between blocks
        }
        copying = false;
    });
    for (int i = 0; copying; ++i) src.GoToSample(i % 1000);
    worker.join();
    src.EndRead();
    EXPECT_EQ(mixed, 0u);
}
