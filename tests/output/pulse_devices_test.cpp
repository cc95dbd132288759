// The device choice against a real sound server: a private PulseAudio with
// two null sinks, each recorded from its monitor by parec while the sink
// plays through SDL. Playback moves from one sink to the other and back when
// the choice changes, falls back to the default sink (with one message) when
// the chosen sink is unloaded, and returns to it once it is loaded again.
// Every step waits for what the monitors record, with generous time-outs,
// so a loaded machine only makes it slower.
#include "ACS_DXAudio.h"
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
