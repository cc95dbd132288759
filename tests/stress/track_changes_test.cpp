// A thousand track changes, half at the natural end of a track and half by
// Next, through files of every format: resident memory and open descriptors
// must be as steady after the last change as after the warm-up. Under the
// sanitizers their own bookkeeping grows memory, so there only descriptors
// are compared (leaks are the leak checker's business there).
#include "media_files.h"
#include "stress_window.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

namespace quillet::test {
namespace {

class TrackChangesTest : public StressWindowTest {};

TEST_F(TrackChangesTest, AThousandChangesLeaveMemoryAndDescriptorsSteady) {
    std::vector<std::string> paths;
    for (const MediaFile& f : MediaFiles()) paths.push_back(f.path);
    AddRows(paths);
    Watchdog dog(60);
    int changes = 0;
    // One change: a new run opening the device, or a track joined to the last.
    auto waitChange = [&](const char* how) {
        dog.Kick(std::string(how) + " change " + std::to_string(changes));
        const int started = Starts();
        if (std::string(how) == "next") Form->sbForward->click();
        ASSERT_TRUE(WaitFor([&] { return Starts() > started; }, 30000))
            << how << " change " << changes << " never started";
        ++changes;
    };

    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Sound->OpenCount() >= 1; }));
    int64_t rss = 0;
    int fds = 0;
    for (int i = 0; i < 1000; ++i) {
        if (i == 100) {  // warmed up: every input and library has been used
            rss = ResidentKb();
            fds = OpenDescriptors();
        }
        waitChange(i % 2 ? "next" : "end");
        if (HasFailure()) return;
    }
    Form->sbStop->click();
    ASSERT_TRUE(WaitFor([&] { return !Running(); }));
    EXPECT_EQ(changes, 1000);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front().Text.toStdString();
    EXPECT_LE(OpenDescriptors(), fds) << "descriptors grew over 900 changes";
    const int64_t grown = ResidentKb() - rss;
    std::printf("after warm-up: %+lld KiB resident, %d descriptors\n",
                static_cast<long long>(grown), OpenDescriptors());
    if (!kSanitized) {
        EXPECT_LT(grown, 4096) << "resident memory grew by " << grown << " KiB";
    }
}

// The same through the real back-end on SDL's dummy driver (the test main
// selects it): every run opens and closes an SDL device, whose threads and
// descriptors must not pile up.
TEST_F(TrackChangesTest, NextOnTheSdlBackEndLeavesNothingBehind) {
    Form = std::make_unique<TFrmQuillet>(ProgramDir);  // SDL2
    std::vector<std::string> paths;
    for (const MediaFile& f : MediaFiles()) paths.push_back(f.path);
    AddRows(paths);
    Watchdog dog(60);
    PlayRow(0);
    int fds = 0, threads = 0;
    // Each change closes and opens an SDL device (about 0.2 s here); a
    // hundred show any growth per run.
    for (int i = 0; i < 120; ++i) {
        if (i == 20) {
            fds = OpenDescriptors();
            threads = Threads();
        }
        dog.Kick("next " + std::to_string(i));
        Form->sbForward->click();
        // The worker marks the run active when it gets the processor,
        // which a loaded machine may take a while to give it.
        ASSERT_TRUE(WaitFor([&] { return Running(); })) << "after next " << i;
    }
    Form->sbStop->click();
    ASSERT_TRUE(WaitFor([&] { return !Running(); }));
    EXPECT_TRUE(Boxes.empty()) << Boxes.front().Text.toStdString();
    EXPECT_LE(OpenDescriptors(), fds);
    EXPECT_LE(Threads(), threads);
    std::printf("%d descriptors, %d threads\n", OpenDescriptors(), Threads());
}

}  // namespace
}  // namespace quillet::test
