// The command line's device choice against a real sound server: a private
// PulseAudio with two null sinks, each recorded from its monitor by parec.
// (Moving playback between the sinks, falling back when one goes and coming
// back to it: the window's menu test, tests/app/pulse_window_test.cpp.)
// Every step waits for what the monitors record, with generous time-outs,
// so a loaded machine only makes it slower.
#include "pulse_fixture.h"

using namespace quillet;
using namespace quillet::test;

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
                     "' LSAN_OPTIONS=print_suppressions=0:suppressions='" +
                     (FDir / "lsan.supp").string() + "' " + cli + " play --device Quillet-three '" +
                     wav.string() + "' 2>&1; echo $?"),
              "The output device \"Quillet-three\" is not available; playing on the system "
              "default.\n0\n");
    std::ifstream f(Recording("two"), std::ios::binary);
    const std::vector<char> heard((std::istreambuf_iterator<char>(f)), {});
    EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](char c) { return c != 0; }));
}
#endif

}  // namespace
