// The device choice against a real sound server: a private PulseAudio with
// two null sinks, each recorded from its monitor by parec while the sink
// plays through SDL. Playback moves from one sink to the other and back when
// the choice changes, falls back to the default sink (with one message) when
// the chosen sink is unloaded, and returns to it once it is loaded again.
// Every step waits for what the monitors record, with generous time-outs,
// so a loaded machine only makes it slower.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "ACS_DXAudio.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

extern char** environ;

// libpulse keeps a few allocations of its client to the end, and its
// threads hand data over in ways ThreadSanitizer cannot see (not ours).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}
constexpr const char* kPulseRaces = "race:libpulsecommon-16.1.so\nrace:libpulse.so\n";
extern "C" const char* __tsan_default_suppressions() {
    return kPulseRaces;
}

namespace {

const std::string kSinkArgs = "rate=44100 channels=2 format=s16le";

// A child process with its output in a file; ended (SIGTERM) and reaped when
// destroyed.
class TChild {
  public:
    TChild(std::vector<std::string> args, const fs::path& out) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TChild() {
        if (FPid <= 0) return;
        ::kill(FPid, SIGTERM);
        ::waitpid(FPid, nullptr, 0);
    }
    bool Running() const { return FPid > 0 && ::waitpid(FPid, nullptr, WNOHANG) == 0; }

  private:
    pid_t FPid = -1;
};

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The last quarter second a monitor recorded: silent, or with sound in it.
enum class TTail { Short, Silent, Sound };
TTail Tail(const fs::path& recording) {
    constexpr std::streamoff kBytes = 44100;
    std::ifstream f(recording, std::ios::binary | std::ios::ate);
    if (!f || f.tellg() < kBytes) return TTail::Short;
    std::vector<char> tail(static_cast<size_t>(kBytes));
    f.seekg(-kBytes, std::ios::end);
    f.read(tail.data(), kBytes);
    return std::all_of(tail.begin(), tail.end(), [](char c) { return c == 0; }) ? TTail::Silent
                                                                                : TTail::Sound;
}

class PulseDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"pulseaudio", "parec", "pactl"})
            if (Output(std::string("command -v ") + tool).empty())
                GTEST_SKIP() << tool << " is not installed";
        FDir = fs::path(std::getenv("QUILLET_TEST_TMP")) / "pulse";
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        fs::permissions(FDir,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        std::ofstream(FDir / "sinks.pa") << Sink("one") << "\n"
                                         << Sink("two") << "\nset-default-sink two\n";
        std::ofstream(FDir / "client.conf") << "autospawn = no\n";
        ::setenv("PULSE_SERVER", ("unix:" + (FDir / "run/native").string()).c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (FDir / "client.conf").c_str(), 1);
        ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        FServer = std::make_unique<TChild>(
            std::vector<std::string>{"bash", PULSE_SERVER_SCRIPT, FDir.string()},
            FDir / "server.log");
        ASSERT_TRUE(Within(10s, [] {
            return Output("pactl info >/dev/null 2>&1 && echo up") == "up\n";
        })) << "the sound server did not start";
    }
    void TearDown() override {
        FRecorders.clear();
        FServer.reset();
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    static std::string Sink(const std::string& name) {
        return "load-module module-null-sink sink_name=" + name + " " + kSinkArgs +
               " sink_properties=device.description=Quillet-" + name;
    }
    void Record(const std::string& sink) {
        FRecorders[sink] = std::make_unique<TChild>(
            std::vector<std::string>{"parec", "-d", sink + ".monitor", "--format=s16le",
                                     "--rate=44100", "--channels=2", "--raw", "--latency-msec=20"},
            Recording(sink));
    }
    fs::path Recording(const std::string& sink) const { return FDir / (sink + ".raw"); }
    // Waits (serving the sink's events) until the sound is heard on `on`
    // only.
    bool HeardOn(const std::string& on, const std::string& off) {
        return Within(15s, [&] {
            return Tail(Recording(on)) == TTail::Sound && Tail(Recording(off)) == TTail::Silent;
        });
    }
    static bool Within(std::chrono::seconds limit, const std::function<bool()>& cond) {
        return PumpUntil(cond, limit);
    }

    fs::path FDir;
    std::unique_ptr<TChild> FServer;
    std::map<std::string, std::unique_ptr<TChild>> FRecorders;
};

TEST_F(PulseDevices, PlaybackMovesWithTheChoiceAndFallsBackWhenTheSinkGoes) {
    Record("one");
    Record("two");
    auto out = MakeOwned<TDXAudioOut>(nullptr);
    EXPECT_EQ(out->DeviceNames(), (std::vector<std::string>{"Quillet-one", "Quillet-two"}));
    std::vector<TDXAudioOut::TDeviceState> events;
    out->SetOnDeviceChange([&](TComponent*) { events.push_back(out->DeviceState()); });
    std::atomic<int> errors{0};
    out->SetOnThreadException([&](TComponent*) { ++errors; });
    SyntheticSource src({.frames = 44100 * 60});
    out->SetDeviceName("Quillet-one");
    out->SetInput(&src);
    out->Start();
    ASSERT_TRUE(HeardOn("one", "two"));

    // The position goes on from where it was: no restart, at most a ring.
    auto frame = [&] { return out->PlayPoint().Frame; };
    const int64_t before = frame();
    out->SetDeviceName("Quillet-two");
    ASSERT_TRUE(HeardOn("two", "one"));
    EXPECT_GE(frame(), before);
    out->SetDeviceName("Quillet-one");
    ASSERT_TRUE(HeardOn("one", "two"));
    out->SetDeviceName("");  // the system default: sink two
    ASSERT_TRUE(HeardOn("two", "one"));
    out->SetDeviceName("Quillet-one");
    ASSERT_TRUE(HeardOn("one", "two"));
    EXPECT_TRUE(events.empty());

    // Unplugged: to the default, one message.
    const std::string module = Output("pactl list short modules | awk '/sink_name=one/{print $1}'");
    Output("pactl unload-module " + module);
    FRecorders.erase("one");
    fs::remove(Recording("one"));
    ASSERT_TRUE(Within(15s, [&] { return Tail(Recording("two")) == TTail::Sound; }));
    ASSERT_TRUE(Within(5s, [&] { return !events.empty(); }));
    EXPECT_TRUE(events[0].FellBack);
    EXPECT_NE(events[0].Message.find("Quillet-one"), std::string::npos);

    // Plugged in again: back to it, without a second warning.
    Output("pactl " + Sink("one") + " >/dev/null");
    Record("one");
    ASSERT_TRUE(HeardOn("one", "two"));
    ASSERT_TRUE(Within(5s, [&] { return events.size() == 2; }));
    EXPECT_FALSE(events[1].FellBack);
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(src.Active());
    out->Stop(false);
}

#ifdef QUILLET_CLI
// The command line: the same names, and a missing device announced once
// while the file still plays (on the default sink).
TEST_F(PulseDevices, TheCommandLineListsAndFallsBack) {
    const std::string cli = QUILLET_CLI;
    EXPECT_EQ(Output(cli + " devices"), "Quillet-one\nQuillet-two\n");
    Record("two");
    const fs::path wav = FDir / "tone.wav";
    ASSERT_EQ(
        Output("sox -n -r 44100 -c 2 -b 16 '" + wav.string() + "' synth 1 sine 440 && echo made"),
        "made\n");
    // For a sanitizer build's command line: the sound server's client
    // library races with itself and keeps a block from a failed open.
    std::ofstream(FDir / "tsan.supp") << kPulseRaces;
    std::ofstream(FDir / "lsan.supp") << "leak:libpulse.so\n";
    EXPECT_EQ(Output("TSAN_OPTIONS=suppressions='" + (FDir / "tsan.supp").string() +
                     "' LSAN_OPTIONS=suppressions='" + (FDir / "lsan.supp").string() + "' " + cli +
                     " play --device Quillet-three '" + wav.string() + "' 2>&1; echo $?"),
              "The output device \"Quillet-three\" is not available; playing on the system "
              "default.\n0\n");
    std::ifstream f(Recording("two"), std::ios::binary);
    const std::vector<char> heard((std::istreambuf_iterator<char>(f)), {});
    EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](char c) { return c != 0; }));
}
#endif

}  // namespace
