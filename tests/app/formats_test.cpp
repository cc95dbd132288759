// The window and the formats of the extension table: Play takes the input the
// file's first bytes call for when its extension's input cannot read it, and
// the Add-file dialog's "All files" lists every file.
#include <QTest>

#include "UMain.h"
#include "app_test_support.h"
#include "simulated_device.h"

namespace quillet::test {
namespace {

class FormatsTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        WriteFile(ProgramDir + "lang.cfg", "en\r\n");
        Form = std::make_unique<TFrmQuillet>(ProgramDir, std::make_shared<SimulatedSoundSystem>());
    }
    void TearDown() override {
        Form.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<TFrmQuillet> Form;
};

TEST_F(FormatsTest, PlayChoosesTheInputTheContentCallsFor) {
    ASSERT_EQ(
        std::system(("sox -n -r 48000 -c 2 -b 16 '" + Dir + "tone.wav' synth 0.2 sine 440 && " +
                     "ffmpeg -v error -i '" + Dir + "tone.wav' -c:a libopus -f opus '" + Dir +
                     "opus.ogg' && cp '" + Dir + "tone.wav' '" + Dir + "wave.mp3'")
                        .c_str()),
        0);
    struct TCase {
        const char* Name;
        TInputKind Kind;
    };
    for (const TCase& c :
         {TCase{"opus.ogg", TInputKind::ikFFmpeg}, TCase{"wave.mp3", TInputKind::ikWave},
          TCase{"tone.wav", TInputKind::ikWave}}) {
        SCOPED_TRACE(c.Name);
        Form->PlaylistEntries().Clear();
        Form->AppendEntry(c.Name, Dir + c.Name);
        Form->SetItemIndex(0);
        Form->sbPlay->click();
        EXPECT_EQ(Form->audOut->Input(), Form->Player().Inputs().First(c.Kind));
        EXPECT_TRUE(WaitFor([&] { return Form->audOut->Input()->Delivered() > 0; }));
        Form->audOut->Stop(false);
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(FormatsTest, AllFilesListsFilesWithoutADot) {
    EXPECT_TRUE(Form->odOpenSoundFile.QtFilter().endsWith(QStringLiteral(";;All files (*)")));
    EXPECT_TRUE(Form->odOpenSoundFile.QtFilter().contains(QStringLiteral("(*.opus *.oga *.spx)")));
    // A language file's "*.*" means every file too.
    WriteFile(ProgramDir + "lang/xx.ini", "[lang]\r\nDlgOpenSFilter=Waves|*.wav|All|*.*\r\n");
    Form->LoadLanguage("xx");
    EXPECT_EQ(Form->odOpenSoundFile.QtFilter(), QStringLiteral("Waves (*.wav);;All (*)"));
}

}  // namespace
}  // namespace quillet::test
