// The "Output device" submenu on the simulated sound system: it lists the
// devices when it opens, and a choice is kept for the next start. (Moving
// playback, falling back and coming back: pulse_window_test.cpp.)
#include <QTest>

#include "app_test_support.h"
#include "device_menu.h"
#include "ini.h"
#include "paths.h"
#include "session_state.h"

namespace quillet::test {
namespace {

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
    const std::vector<std::pair<TDeviceGuid, std::string>> kAll = {
        {TDeviceGuid{}, "default"}, {Id(1), "Speakers"}, {Id(2), "USB DAC"}};
};

TEST_F(DeviceMenuTest, TheMenuListsOnOpenAndTheChoiceIsKept) {
    TDeviceMenu& menu = Menu(*Form);
    EXPECT_EQ(menu.title(), QStringLiteral("Output device"));
    EXPECT_EQ(Entries(menu), (std::vector<std::string>{"*System default"}));
    menu.Refresh();
    ASSERT_TRUE(WaitFor([&] { return menu.Listed().size() == 2; }));
    EXPECT_EQ(Entries(menu), (std::vector<std::string>{"*System default", "Speakers", "USB DAC"}));

    // Moving playback with a choice is checked against a real sound server
    // (pulse_window_test.cpp); here only what the menu shows and keeps.
    Entry(menu, QStringLiteral("Speakers"))->trigger();
    menu.Settle();
    EXPECT_EQ(LoadDeviceChoice(ConfigFolder()), "Speakers");
    EXPECT_EQ(Form->audOut->DeviceName(), "Speakers");

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
