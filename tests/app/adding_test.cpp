// Adding music and what the list says of it: the Add dialog (every format
// first, several files in the order shown, the folder used last), a folder
// added from the list's menu, and rows whose files fail.
#include <QAction>
#include <filesystem>

#include "app_test_support.h"
#include "entry_info.h"
#include "input_table.h"
#include "paths.h"
#include "playlist_view_model.h"

namespace quillet::test {
namespace {

class AddingTest : public WindowFixture {
  protected:
    QAction* AddFolderAction() const {
        for (QAction* action : Form->pmPlayModes->actions())
            if (action->text() == QStringLiteral("Add folder...")) return action;
        return nullptr;
    }
    TEntryInfo InfoOf(int row) const {
        return Form->PlaylistEntries()[static_cast<size_t>(row)].Info;
    }
    QString ToolTipOf(int row) const {
        const QAbstractItemModel* model = Form->lbPlaylist->model();
        return model->data(model->index(row, 0), Qt::ToolTipRole).toString();
    }
};

TEST_F(AddingTest, AddDialogOffersEveryFormatTakesSeveralFilesAndOpensWhereUsedLast) {
    // No folder used yet: the desktop's music folder.
    WriteFile(Dir + "config/user-dirs.dirs", "XDG_MUSIC_DIR=\"" + Dir + "music\"\n");
    std::filesystem::create_directories(Dir + "music");
    std::filesystem::create_directories(Dir + "b");
    Dialogs->SoundFileLists = {{Dir + "b/track10.flac", Dir + "b/Track2.mp3", Dir + "b/a.ogg"}, {}};
    Form->sbAddFile->click();
    Form->sbAddFile->click();  // cancelled: nothing more
    ASSERT_EQ(Dialogs->Log.size(), 2u);
    const QStringList filter = Dialogs->Log[0].Filter.split(QLatin1Char('|'));
    ASSERT_GE(filter.size(), 6);
    EXPECT_EQ(filter[0], "Audio files");
    const QStringList patterns = filter[1].split(QLatin1Char(';'));
    for (const std::string& ext : PlayableExtensions())
        EXPECT_TRUE(patterns.contains(QString::fromStdString("*" + ext))) << ext;
    EXPECT_EQ(filter[2], "MP3 Files");  // then the design's filters
    EXPECT_EQ(filter.mid(filter.size() - 2), (QStringList{"All files", "*"}));
    EXPECT_EQ(filter.count(QStringLiteral("All files")), 1);
    EXPECT_EQ(Dialogs->Log[0].Initial, Dir + "music");
    EXPECT_EQ(Dialogs->Log[1].Initial, Dir + "b/");
    // In the order the dialog shows them, whatever order they were picked in.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.ogg", "Track2.mp3", "track10.flac"}));

    // A new start opens where the last one added from.
    Form.reset();
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    auto dialogs = std::make_unique<ScriptedDialogs>();
    Dialogs = dialogs.get();
    Form->SetDialogs(std::move(dialogs));
    Dialogs->SoundFileLists = {{}};
    Form->sbAddFile->click();
    ASSERT_EQ(Dialogs->Log.size(), 1u);
    EXPECT_EQ(Dialogs->Log[0].Initial, Dir + "b/");
}

TEST_F(AddingTest, AddFolderWalksInTheBackgroundLikeTheCommandLine) {
    // More files than one turn of the loop appends.
    constexpr int kFiles = 1200;
    for (int i = 0; i < kFiles; ++i)
        WriteFile(Dir + "walk/many/" + std::to_string(10000 + i) + ".mp3", "");
    WriteFile(Dir + "walk/a.flac", "");
    WriteFile(Dir + "walk/notes.txt", "");
    QAction* action = AddFolderAction();
    ASSERT_NE(action, nullptr);
    Dialogs->Folders = {"", Dir + "walk"};
    action->trigger();  // cancelled
    EXPECT_EQ(Form->Count(), 0);
    action->trigger();
    ASSERT_EQ(Dialogs->Log.size(), 2u);
    EXPECT_EQ(Dialogs->Log[0].Kind, "folder");
    ASSERT_TRUE(WaitFor([&] { return Form->Count() == kFiles + 1; }));
    EXPECT_EQ(Rows().front(), "a.flac");
    EXPECT_EQ(Rows().back(), std::to_string(10000 + kFiles - 1) + ".mp3");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(AddingTest, FailedFilesAreMarkedAndALapSaysWhyTheFileFailed) {
    auto waitRead = [&](int row) {
        return WaitFor([&] { return InfoOf(row).State != TEntryState::Unread; });
    };
    // A file no input understands: the message is the file's, not the device's.
    WriteFile("broken.wav", std::string(4096, 'Z'));
    AddFiles({Dir + "broken.wav"});
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));
    EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(kNotUnderstood) + ".");
    ASSERT_TRUE(waitRead(0));
    EXPECT_EQ(InfoOf(0).State, TEntryState::Failed);
    EXPECT_TRUE(ToolTipOf(0).contains(QLatin1String(kNotUnderstood)));

    // A file that plays, on a device that refuses it: the device's error,
    // and the row stays playable.
    Form->sbNewPlaylistClick();
    Boxes.clear();
    WriteFile("good.wav", SilentWav(4410));
    AddFiles({Dir + "good.wav"});
    ASSERT_TRUE(waitRead(0));
    ASSERT_EQ(InfoOf(0).State, TEntryState::Playable);
    Sound->SetCreateResult(DSERR_BADFORMAT);
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));
    EXPECT_EQ(Boxes[0].Text, "Failed to create DirectSound buffer88780064.");
    EXPECT_EQ(InfoOf(0).State, TEntryState::Playable);
    Sound->SetCreateResult(DS_OK);

    // A file that opens but fails to decode: dimmed with the decoder's words.
    Form->sbNewPlaylistClick();
    Boxes.clear();
    SyntheticSource* source = Install(TInputKind::ikWave, 44100);
    source->OnRead = [] { throw EAuException("Bad block"); };
    AddFiles({Dir + "bad.wav"});
    ASSERT_TRUE(waitRead(0));
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));
    EXPECT_EQ(Boxes[0].Text, "Bad block.");
    EXPECT_EQ(InfoOf(0).State, TEntryState::Failed);
    EXPECT_TRUE(ToolTipOf(0).contains(QStringLiteral("Bad block")));
}

}  // namespace
}  // namespace quillet::test
