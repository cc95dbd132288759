// The equalizer dialog and the crossfade submenu in the window: they set the
// player's stage, keep their settings in dsp.ini, name every control for a
// screen reader and speak the window's language.
#include "sound_menu.h"
#include "app_test_support.h"
#include "dsp_settings.h"
#include "paths.h"

namespace quillet::test {
namespace {

class SoundMenuTest : public WindowFixture {
  protected:
    void Choose(const char* name) {
        QAction* action = ContextEntry(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        Form->pmPlayModes->hide();
    }
    TEqualizerDialog* Dialog() { return Form->findChild<TEqualizerDialog*>(); }
};

TEST_F(SoundMenuTest, CrossfadeAndEqualizerReachThePlayerAndAreKept) {
    EXPECT_EQ(Form->Player().Dsp().Crossfade().Settings(), TCrossfadeSettings{});
    Choose("Crossfade5");
    Choose("CrossfadeFades");
    EXPECT_EQ(Form->Player().Dsp().Crossfade().Settings(),
              (TCrossfadeSettings{.Seconds = 5, .Fades = false}));
    EXPECT_TRUE(Form->pmPlayModes->findChild<QAction*>("Crossfade5")->isChecked());

    Choose("Equalizer");
    TEqualizerDialog* eq = Dialog();
    ASSERT_NE(eq, nullptr);
    ASSERT_TRUE(eq->isVisible());
    for (QWidget* w : eq->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus) continue;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
    const int rock = eq->Presets->findData(QStringLiteral("Rock"));
    ASSERT_GE(rock, 0);
    eq->Presets->setCurrentIndex(rock);
    emit eq->Presets->activated(rock);
    const TEqSettings chosen = Form->Player().Dsp().Equalizer().Settings();
    EXPECT_TRUE(chosen.On);
    EXPECT_EQ(chosen.Gains, FindEqPreset("rock")->Gains);
    EXPECT_EQ(eq->Bands[0]->value(), 5);

    // A slider moved: a preset of one's own, refused under a built-in name.
    eq->Bands[9]->setValue(-7);
    EXPECT_EQ(Form->Player().Dsp().Equalizer().Settings().Gains[9], -7);
    EXPECT_EQ(eq->Presets->currentIndex(), -1);
    eq->PresetName->setText(QStringLiteral("Rock"));
    eq->Save->click();
    EXPECT_TRUE(eq->findChild<QLabel*>("lblEqStatus")->text().contains("Rock"));
    eq->PresetName->setText(QStringLiteral("Night"));
    eq->Save->click();
    EXPECT_EQ(eq->Presets->currentText(), "Night");
    EXPECT_TRUE(eq->Delete->isEnabled());
    eq->hide();

    const TDspSettings kept = LoadDspSettings(ConfigFolder());
    EXPECT_EQ(kept.Crossfade.Seconds, 5u);
    EXPECT_FALSE(kept.Crossfade.Fades);
    ASSERT_EQ(kept.Presets.size(), 1u);
    EXPECT_EQ(kept.Presets[0].Name, "Night");
    EXPECT_EQ(kept.Presets[0].Gains[9], -7);
    EXPECT_EQ(kept.Eq, Form->Player().Dsp().Equalizer().Settings());

    eq->Delete->click();
    EXPECT_TRUE(LoadDspSettings(ConfigFolder()).Presets.empty());
    EXPECT_FALSE(eq->Delete->isEnabled());
}

TEST_F(SoundMenuTest, TextsComeFromTheLanguageFile) {
    WriteFile(ProgramDir + "lang/de.ini",
              "[lang]\r\nCrossfade=Überblenden\r\nCrossfadeSeconds=%1 Sekunden\r\n"
              "EqPreamp=Vorverstärkung\r\nEqKHz=%1 kHz\r\nEqRock=Rockmusik\r\n");
    Form->LoadLanguage("de");
    Choose("Equalizer");
    TEqualizerDialog* eq = Dialog();
    ASSERT_NE(eq, nullptr);
    EXPECT_EQ(eq->Preamp->accessibleName(), "Vorverstärkung");
    EXPECT_EQ(eq->Bands[5]->accessibleName(), "1 kHz");
    EXPECT_GE(eq->Presets->findText(QStringLiteral("Rockmusik")), 0);
    EXPECT_EQ(Form->pmPlayModes->findChild<QMenu*>("Crossfade")->title(), "Überblenden");
    EXPECT_EQ(Form->pmPlayModes->findChild<QAction*>("Crossfade8")->text(), "8 Sekunden");
    eq->hide();
}

}  // namespace
}  // namespace quillet::test
