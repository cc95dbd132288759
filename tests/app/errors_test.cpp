// The application's default error handler and the Qt side of the
// main-thread call queue.
#include <thread>

#include "ACS_Types.h"
#include "app_test_support.h"
#include "main_thread.h"

namespace quillet::test {
namespace {

TEST(ErrorText, DotIsAddedAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorMessageText("File not found"), "File not found.");
    EXPECT_EQ(ErrorMessageText("Done."), "Done.");
    EXPECT_EQ(ErrorMessageText("Why?"), "Why?.");
    EXPECT_EQ(ErrorMessageText("Stop!"), "Stop!");  // '!' sorts before '.'
    EXPECT_EQ(ErrorMessageText("50%"), "50%");
    EXPECT_EQ(ErrorMessageText("a-"), "a-");
    EXPECT_EQ(ErrorMessageText("x/"), "x/.");
    EXPECT_EQ(ErrorMessageText("caf\xC3\xA9"), "caf\xC3\xA9.");
    EXPECT_EQ(ErrorMessageText(""), "");
}

using QueueTest = AppTest;

TEST_F(QueueTest, CallsFromOtherThreadsRunOnTheGuiThreadAndTheirErrorsAreShown) {
    std::atomic<bool> onMain{false};
    std::atomic<bool> done{false};
    std::thread poster([&] {
        Synchronize([&] { onMain = IsMainThread(); });
        Synchronize([] { throw EAuException("Something failed"); });
        done = true;
    });
    // Nothing but Qt's own loop serves the queue here.
    const bool finished = WaitFor([&] { return done.load(); });
    poster.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(onMain);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkError);
    EXPECT_EQ(Boxes[0].Caption, "Quillet 0.6b");
    EXPECT_EQ(Boxes[0].Text, "Something failed.");
}

TEST_F(QueueTest, GuardedHandlersShowWhatTheyRaise) {
    Guarded([] { throw std::runtime_error("plain error"); });
    Guarded([] { throw 42; });
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Text, "plain error.");
    EXPECT_EQ(Boxes[1].Text, "Unknown error.");
}

}  // namespace
}  // namespace quillet::test
