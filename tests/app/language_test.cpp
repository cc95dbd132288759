// Language files, "lang.cfg" and the About dialog.
#include <filesystem>

#include "UAbout.h"
#include "UMain.h"
#include "app_test_support.h"
#include "simulated_device.h"
#include "textfile.h"

namespace quillet::test {
namespace {

class LanguageTest : public AppTest {
  protected:
    std::unique_ptr<TFrmQuillet> MakeForm() {
        return std::make_unique<TFrmQuillet>(ProgramDir, std::make_shared<SimulatedSoundSystem>());
    }
    void WriteLanguage(const std::string& name, const std::string& body) {
        WriteFile(ProgramDir + "lang/" + name + ".ini", "[lang]\r\n" + body);
    }
    static QStringList Items(const QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        return items;
    }
};

TEST_F(LanguageTest, StartReadsTheUsersLangCfgElseTheInstalledOne) {
    WriteLanguage("de", "Play=Wiedergabe\r\nRewind=Zurück\r\n");
    WriteLanguage("fr", "Play=Lecture\r\n");
    WriteFile("lang.cfg", "fr\r\n");  // the working folder plays no part
    WriteFile(ProgramDir + "lang.cfg", "de\r\nignored\r\n");
    auto form = MakeForm();
    EXPECT_EQ(form->sbPlay->toolTip(), "Wiedergabe");
    EXPECT_EQ(form->sbPlay->accessibleName(), "Wiedergabe");
    EXPECT_EQ(form->sbRewind->toolTip(), QString::fromUtf8("Zurück"));

    WriteFile(Dir + "config/quillet/lang.cfg", "fr\r\n");
    form = MakeForm();
    EXPECT_EQ(form->sbPlay->toolTip(), "Lecture");

    // Binary: built-in texts, and nothing said.
    WriteFile(Dir + "config/quillet/lang.cfg", std::string("\0\x01\xff/..\0", 7));
    form = MakeForm();
    EXPECT_EQ(form->sbPlay->toolTip(), "Play");
    WaitFor([] { return false; }, 50);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(LanguageTest, MissingLangCfgIsReportedOnceTheWindowRuns) {
    auto form = MakeForm();
    EXPECT_TRUE(Boxes.empty()) << "a box while the window is being made holds up the start";
    ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkError);
    EXPECT_EQ(Boxes[0].Caption, "Quillet 0.6b");
    EXPECT_EQ(Boxes[0].Text, "File not found.");
    EXPECT_EQ(form->sbPlay->toolTip(), "Play");
    EXPECT_EQ(form->sbForward->toolTip(), "Next");
    EXPECT_EQ(form->sbAbout->text(), "About");
}

TEST_F(LanguageTest, MissingFileOrKeysGiveBuiltInTexts) {
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    auto form = MakeForm();
    form->LoadLanguage("nosuch");
    EXPECT_EQ(form->sbRemoveFile->toolTip(), "Remove file (Del)");
    EXPECT_EQ(form->odOpenSoundFile.Title, "Open File");
    EXPECT_EQ(form->odOpenSoundFile.Filter, QString::fromLatin1(kSoundFileFilter));
    EXPECT_EQ(form->RenamePrompt, "Change visible sound name:");

    // Only "Play", in another letter case and quoted.
    WriteLanguage("one", "pLaY = \"Spielen\"\r\n");
    form->LoadLanguage("one");
    EXPECT_EQ(form->sbPlay->toolTip(), "Spielen");
    EXPECT_EQ(form->sbPause->toolTip(), "Pause (Space)");
    EXPECT_EQ(form->odOpenSoundFile.Title, "Open File");
    EXPECT_EQ(form->LanguageCaption, "Language");
    EXPECT_EQ(form->RenameTitle, "Change name");
    // The About caption changes, its hint does not.
    WriteLanguage("two", "About=Info\r\n");
    form->LoadLanguage("two");
    EXPECT_EQ(form->sbAbout->text(), "Info");
    EXPECT_EQ(form->sbAbout->toolTip(), "About");
}

TEST_F(LanguageTest, LongValuesAreCutInCharacters) {
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    auto form = MakeForm();
    std::string wide;  // two-byte characters: a byte cut would split one
    for (int i = 0; i < 250; ++i) wide += "\xC3\xA9";
    WriteLanguage("long", "Stop=" + std::string(3000, 'x') + "\r\nLanguage=" + wide +
                              "\r\nNameChangeTitle=" + wide +
                              "\r\nNameChangePrompt=" + std::string(500, 'p') + "\r\n");
    form->LoadLanguage("long");
    EXPECT_EQ(form->sbStop->toolTip().size(), 2047);
    EXPECT_EQ(QString::fromStdString(form->LanguageCaption).size(), 200);
    EXPECT_EQ(form->LanguageCaption.size(), 400u);
    EXPECT_EQ(QString::fromStdString(form->RenameTitle).size(), 100);
    EXPECT_EQ(form->RenamePrompt.size(), 500u);

    WriteFile(ProgramDir + "lang.cfg", "long\r\n");
    TFrmAbout about(*form);  // the About label shows the cut caption
    EXPECT_EQ(about.lblLang->text().size(), 200);
}

TEST_F(LanguageTest, AboutListsLanguagesAndSelectsByFourCharacters) {
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    auto form = MakeForm();
    {
        // No "lang" folder: only "en".
        WriteFile(ProgramDir + "lang.cfg", "EN\r\n");
        TFrmAbout about(*form);
        EXPECT_EQ(Items(about.cbLang), QStringList{"en"});
        EXPECT_EQ(about.cbLang->currentText(), "en");
        EXPECT_EQ(about.lblLang->text(), "Language");
        EXPECT_EQ(about.windowTitle(), "Quillet 0.6");
        EXPECT_EQ(about.imgLogo->geometry(), QRect(0, 0, 210, 278));
    }
    WriteLanguage("en", "");
    WriteLanguage("fr", "");
    WriteLanguage("deutsch", "");
    WriteFile(ProgramDir + "lang/notes.txt", "");
    {
        WriteFile(ProgramDir + "lang.cfg", "fr\r\n");
        TFrmAbout about(*form);
        QStringList items = Items(about.cbLang);
        ASSERT_EQ(items.size(), 4);
        EXPECT_EQ(items.takeFirst(), "en");
        items.sort();
        EXPECT_EQ(items, (QStringList{"deutsch", "en", "fr"}));
        EXPECT_EQ(about.cbLang->currentText(), "fr");
    }
    {
        // Only four characters of lang.cfg count: "deut" names no language.
        WriteFile(ProgramDir + "lang.cfg", "deutsch\r\n");
        TFrmAbout about(*form);
        EXPECT_EQ(about.cbLang->currentIndex(), -1);
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(LanguageTest, AboutWithoutLangCfgReportsItAndStillOpens) {
    auto form = MakeForm();
    ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));  // the start's report
    Boxes.clear();
    WriteLanguage("fr", "");
    TFrmAbout about(*form);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "File not found.");
    EXPECT_EQ(about.cbLang->count(), 2);
    EXPECT_EQ(about.cbLang->currentIndex(), -1);
    EXPECT_EQ(about.lblLang->text(), "Language:");
}

TEST_F(LanguageTest, OkStoresTheChoiceInTheUsersFileAndAppliesIt) {
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    WriteLanguage("fr", "Play=Lecture\r\nLanguage=Langue :\r\nDlgOpenS=Ouvrir un fichier\r\n");
    auto form = MakeForm();
    TFrmAbout about(*form);
    about.cbLang->setCurrentIndex(about.cbLang->findText("fr"));
    about.Button1->click();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(about.result(), QDialog::Accepted);
    const std::string user = Dir + "config/quillet/lang.cfg";
    EXPECT_EQ(ReadTextLines(user), std::vector<std::string>{"fr"});
    EXPECT_EQ(form->sbPlay->toolTip(), "Lecture");
    EXPECT_EQ(form->odOpenSoundFile.Title, "Ouvrir un fichier");
    EXPECT_EQ(form->LanguageCaption, "Langue :");
    // The installed default is left alone.
    EXPECT_EQ(ReadFirstLine(ProgramDir + "lang.cfg"), "en");

    // The next opening shows the user's choice; nothing selected stores an
    // empty name, which gives the built-in texts.
    TFrmAbout again(*form);
    EXPECT_EQ(again.cbLang->currentText(), "fr");
    again.cbLang->setCurrentIndex(-1);
    again.Button1->click();
    EXPECT_EQ(ReadFirstLine(user), "");
    EXPECT_TRUE(std::filesystem::exists(user));
    EXPECT_EQ(form->sbPlay->toolTip(), "Play");
}

TEST_F(LanguageTest, OkThatCannotStoreStillAppliesForThisRun) {
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    WriteLanguage("fr", "Play=Lecture\r\n");
    WriteFile(Dir + "config/quillet", "a file in the way of the settings folder");
    auto form = MakeForm();
    TFrmAbout about(*form);
    about.show();
    about.cbLang->setCurrentIndex(about.cbLang->findText("fr"));
    testing::internal::CaptureStderr();
    about.Button1->click();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("not kept"), std::string::npos) << told;
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(form->sbPlay->toolTip(), "Lecture");
    WaitFor([] { return false; }, 50);
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace quillet::test
