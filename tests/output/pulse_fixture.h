// A private PulseAudio server with two null sinks ("one", "two"; "two" the
// default), each recorded from its monitor by parec: the fixture of the
// device tests against a real sound server. It skips when the tools are
// missing. SDL plays through it while a test runs (SDL_AUDIODRIVER).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "synthetic.h"

extern char** environ;

namespace quillet::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kSinkArgs = "rate=44100 channels=2 format=s16le";

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

inline std::string Output(const std::string& command) {
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
inline TTail Tail(const fs::path& recording) {
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
    static bool Within(std::chrono::seconds limit, const std::function<bool()>& cond) {
        return PumpUntil(cond, limit);
    }

    fs::path FDir;
    std::unique_ptr<TChild> FServer;
    std::map<std::string, std::unique_ptr<TChild>> FRecorders;
};

}  // namespace quillet::test
