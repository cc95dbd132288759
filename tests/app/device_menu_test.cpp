// The "Output device" submenu on the simulated sound system: it lists the
// devices when it opens, a choice moves playback at once and is kept for
// the next start. (Falling back and coming back: pulse_window_test.cpp.)
#include <QTest>

#include "app_test_support.h"
#include "device_menu.h"
#include "ini.h"
#include "paths.h"
#include "session_state.h"

namespace quillet::test {
namespace {

constexpr int64_t kLong = 44100 * 600;  // plays for about 30 s here

TDeviceGuid Id(uint8_t n) {
    TDeviceGuid id{};
    id[0] = n;
    return id;
}

class DeviceMenuTest : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Sound->SetDevices(kAll);
    }
    static TDeviceMenu& Menu(TFrmQuillet& form) {
        return *form.pmPlayModes->findChild<TDeviceMenu*>(QStringLiteral("OutputDevice"));
    }
    // The menu as it reads: entry texts, the checked one marked "*".
    static std::vector<std::string> Entries(TDeviceMenu& menu) {
        std::vector<std::string> entries;
        for (QAction* action : menu.actions()) {
            if (action->isSeparator()) continue;
            entries.push_back((action->isChecked() ? "*" : "") + action->text().toStdString());
        }
        return entries;
    }
    static QAction* Entry(TDeviceMenu& menu, const QString& text) {
        for (QAction* action : menu.actions())
            if (action->text() == text) return action;
        return nullptr;
    }
    bool LastRingOn(const TDeviceGuid& id) const {
        auto ring = Sound->Ring();
        if (!ring) return false;
        std::lock_guard<std::mutex> g(ring->Lock);
        return ring->Device == id && ring->Playing && !ring->Released;
    }
    const std::vector<std::pair<TDeviceGuid, std::string>> kAll = {
        {TDeviceGuid{}, "default"}, {Id(1), "Speakers"}, {Id(2), "USB DAC"}};
};

TEST_F(DeviceMenuTest, AChoiceMovesPlaybackAtOnceAndIsKept) {
    TDeviceMenu& menu = Menu(*Form);
    EXPECT_EQ(menu.title(), QStringLiteral("Output device"));
    EXPECT_EQ(Entries(menu), (std::vector<std::string>{"*System default"}));
    menu.Refresh();
    ASSERT_TRUE(WaitFor([&] { return menu.Listed().size() == 2; }));
    EXPECT_EQ(Entries(menu), (std::vector<std::string>{"*System default", "Speakers", "USB DAC"}));

    Install(TInputKind::ikWave, kLong);
    AddRows({"a.wav"});
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return LastRingOn(TDeviceGuid{}); }));
    Entry(menu, QStringLiteral("USB DAC"))->trigger();
    EXPECT_EQ(Form->audOut->DeviceName(), "USB DAC");
    EXPECT_EQ(Entries(menu), (std::vector<std::string>{"System default", "Speakers", "*USB DAC"}));
    ASSERT_TRUE(WaitFor([&] { return LastRingOn(Id(2)); }));
    EXPECT_TRUE(Form->Player().Playing());

    // "System default" names no device: the sound system picks it.
    Entry(menu, QStringLiteral("System default"))->trigger();
    EXPECT_EQ(Form->audOut->DeviceName(), "");
    ASSERT_TRUE(WaitFor([&] { return LastRingOn(TDeviceGuid{}); }));

    Entry(menu, QStringLiteral("Speakers"))->trigger();
    menu.Settle();
    EXPECT_EQ(LoadDeviceChoice(ConfigFolder()), "Speakers");
    Form->sbStop->click();

    // The next start plays on it from the first track, and the session's own
    // keys leave it alone.
    TIniFile ini = TIniFile::Load(ConfigFolder() + kStateFileName);
    ini.WriteString(kSessionSection, "Volume", "100");
    ini.Save(ConfigFolder() + kStateFileName);
    TFrmQuillet next(ProgramDir, Sound);
    ASSERT_TRUE(WaitFor([&] { return next.audOut->DeviceName() == "Speakers"; }));
    EXPECT_EQ(Entries(Menu(next)), (std::vector<std::string>{"System default", "*Speakers"}));
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace quillet::test
