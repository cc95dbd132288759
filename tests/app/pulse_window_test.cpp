// The "Output device" menu of the window against a real sound server: a
// private PulseAudio with two null sinks, each recorded from its monitor.
// Choosing in the menu moves what the monitors hear, "System default" plays
// on the server's default sink, and unloading the chosen sink falls back to
// the default with one message until the sink is loaded again. The choice is
// kept for the next start.
#include "app_test_support.h"
#include "device_menu.h"
#include "output/pulse_fixture.h"
#include "paths.h"

namespace quillet::test {
namespace {

class PulseWindow : public PulseDevices {
  protected:
    void SetUp() override {
        PulseDevices::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fs::create_directories(FDir / "prog/lang");
        std::ofstream(FDir / "prog/lang.cfg") << "en\r\n";
        ::setenv("XDG_CONFIG_HOME", (FDir / "config").c_str(), 1);
        SetMessageBoxHook([this](TMessageKind, const QString&, const QString& text) {
            Boxes.push_back(text.toStdString());
        });
    }
    void TearDown() override {
        Form.reset();
        SetMessageBoxHook(nullptr);
        PulseDevices::TearDown();
    }
    bool OnlyOn(const std::string& on, const std::string& off) {
        return WaitFor(
            [&] {
                return Tail(Recording(on)) == TTail::Sound && Tail(Recording(off)) == TTail::Silent;
            },
            15000);
    }
    void Choose(TDeviceMenu& menu, const QString& text) {
        for (QAction* action : menu.actions())
            if (action->text() == text) return action->trigger();
        ADD_FAILURE() << "no entry " << text.toStdString();
    }

    std::unique_ptr<TFrmQuillet> Form;
    std::vector<std::string> Boxes;
};

TEST_F(PulseWindow, TheMenuMovesPlaybackAndFallsBackOnce) {
    const fs::path wav = FDir / "tone.wav";
    ASSERT_EQ(Output("sox -n -r 44100 -c 2 -b 16 '" + wav.string() +
                     "' synth 60 sine 440 vol 0.5 && echo made"),
              "made\n");
    Record("one");
    Record("two");
    Form = std::make_unique<TFrmQuillet>((FDir / "prog").string());
    TDeviceMenu& menu = *Form->pmPlayModes->findChild<TDeviceMenu*>(QStringLiteral("OutputDevice"));
    EXPECT_EQ(menu.title(), QStringLiteral("Output device"));
    menu.Refresh();
    ASSERT_TRUE(WaitFor([&] { return !menu.Listed().empty(); }));
    EXPECT_EQ(menu.Listed(), (std::vector<std::string>{"Quillet-one", "Quillet-two"}));

    Form->AppendEntry("tone", wav.string());
    Form->SetItemIndex(0);
    Form->sbPlay->click();
    ASSERT_TRUE(OnlyOn("two", "one")) << "the server's default sink";
    Choose(menu, QStringLiteral("Quillet-one"));
    const int64_t before = Form->Player().PlayPoint().Frame;
    ASSERT_TRUE(OnlyOn("one", "two"));
    EXPECT_GE(Form->Player().PlayPoint().Frame, before) << "goes on, not from the start";
    Choose(menu, QStringLiteral("System default"));
    ASSERT_TRUE(OnlyOn("two", "one"));
    Choose(menu, QStringLiteral("Quillet-one"));
    ASSERT_TRUE(OnlyOn("one", "two"));

    // Unplugged: on the default, with one message.
    const std::string module = Output("pactl list short modules | awk '/sink_name=one/{print $1}'");
    Output("pactl unload-module " + module);
    FRecorders.erase("one");
    fs::remove(Recording("one"));
    ASSERT_TRUE(
        WaitFor([&] { return Tail(Recording("two")) == TTail::Sound && !Boxes.empty(); }, 15000));
    EXPECT_EQ(Boxes, (std::vector<std::string>{"The output device \"Quillet-one\" is not "
                                               "available; playing on the system default."}));
    menu.Refresh();
    ASSERT_TRUE(WaitFor([&] { return menu.Listed().size() == 1; }));
    EXPECT_EQ(menu.actions().back()->text(), QStringLiteral("Quillet-one (not available)"));
    EXPECT_TRUE(menu.actions().back()->isChecked());

    // Plugged in again: back to it, without a second message.
    Output("pactl " + Sink("one") + " >/dev/null");
    Record("one");
    ASSERT_TRUE(OnlyOn("one", "two"));
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Form->Player().Playing());
    Form->sbStop->click();

    // Kept: the next start opens on it.
    EXPECT_EQ(LoadDeviceChoice(ConfigFolder()), "Quillet-one");
    TFrmQuillet next((FDir / "prog").string());
    EXPECT_TRUE(WaitFor([&] { return next.audOut->DeviceName() == "Quillet-one"; }));
}

}  // namespace
}  // namespace quillet::test
