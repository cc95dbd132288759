// A player that is stopped, or paused, sleeps: none of its threads wakes on
// a timer. Counted as the voluntary context switches of every thread but
// this test's own, on SDL's dummy driver (whose thread wakes once per device
// buffer while a device is open), while the main thread sleeps.
#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "stress_window.h"

namespace quillet::test {
namespace {

// Voluntary context switches of the process's threads, this one left out.
int64_t OthersWakeUps() {
    const long self = syscall(SYS_gettid);
    int64_t total = 0;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' || std::atol(e->d_name) == self) continue;
        std::ifstream status(std::string("/proc/self/task/") + e->d_name + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                total += std::atoll(line.c_str() + sizeof "voluntary_ctxt_switches:");
    }
    closedir(dir);
    return total;
}

// Wake-ups of the other threads while this one sleeps `seconds`.
int64_t WakeUpsOver(int seconds) {
    const int64_t before = OthersWakeUps();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return OthersWakeUps() - before;
}

class IdleTest : public StressWindowTest {};

TEST_F(IdleTest, AStoppedOrPausedPlayerHasNoThreadWakingOnATimer) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the race detector's own thread wakes on a timer";
#endif
    const std::string wav = Dir + "long.wav";
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 20 sine 440").c_str()),
              0);
    Form = std::make_unique<TFrmQuillet>(ProgramDir);  // SDL2, the dummy driver
    AddRows({wav});
    Serve(500);  // the list's reading and the first events settle
    constexpr int kSeconds = 2;
    // Up to 2 a second is the limit; one-off events (a thread ending) may
    // add one or two.
    constexpr int64_t kLimit = 2 * kSeconds + 2;

    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Form->Player().PlayPoint().Frame > 4410; }));
    Form->sbPause->click();
    Serve(TDXAudioOut::kParkAfterMs + 800);  // the device is let go after a second
    const int64_t paused = WakeUpsOver(kSeconds);
    std::printf("paused: %lld wake-ups in %d s\n", static_cast<long long>(paused), kSeconds);
    EXPECT_LE(paused, kLimit) << "paused";

    // Resumed, it plays on from where it was paused.
    const int64_t at = Form->Player().PlayPoint().Frame;
    Form->sbPause->click();
    ASSERT_TRUE(WaitFor([&] { return Form->Player().PlayPoint().Frame > at + 4410; }));
    EXPECT_LT(Form->Player().PlayPoint().Frame, at + 44100) << "it skipped ahead";

    Form->sbStop->click();
    Serve(500);
    const int64_t stopped = WakeUpsOver(kSeconds);
    std::printf("stopped: %lld wake-ups in %d s\n", static_cast<long long>(stopped), kSeconds);
    EXPECT_LE(stopped, kLimit) << "stopped";
}

}  // namespace
}  // namespace quillet::test
