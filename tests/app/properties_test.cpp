// "Properties..." in the window: two rows of one album edited at once while
// the first plays; the rows, the caption and the media-player interface show
// the new names at once, and the sound goes on into the next track.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <map>

#include "app_test_support.h"
#include "decoders/codec_fixture.h"
#include "mpris.h"
#include "player_control.h"
#include "properties_dialog.h"

namespace quillet::test {
namespace {

using PropertiesTest = WindowFixture;

// Files in memory: what was read, what was written, and one that fails.
class FakeEditor : public TTagEditor {
  public:
    std::map<std::string, TTagSnapshot> Files;
    std::map<std::string, TTagChanges> Written;
    std::string Failing;
    TTagSnapshot Read(const std::string& path) override { return Files.at(path); }
    TTagWriteResult Write(const std::string& path, const TFileStamp&,
                          const TTagChanges& changes) override {
        if (path == Failing) return {"No space left on device", {}};
        Written[path] = changes;
        return {};
    }
};

// The album's rows together: only what was typed goes to the files, a
// field that differs stays, several values split at ";", a failure named.
TEST_F(PropertiesTest, OnlyWhatWasTypedIsWrittenToEveryFileOfTheAlbum) {
    auto fake = std::make_unique<FakeEditor>();
    FakeEditor& files = *fake;
    const std::string a = Dir + "a.mp3", b = Dir + "b.ogg", c = Dir + "c.flac";
    for (const auto& [path, title, album] :
         {std::tuple{a, "A", "X"}, {b, "B", "X"}, {c, "C", "Y"}}) {
        TTagSnapshot snap;
        snap.Fields[0] = {title};
        snap.Fields[2] = {album};
        snap.Fields[7] = {"Rock"};
        files.Files[path] = snap;
        Form->AppendEntry(title, path);
        TEntryInfo info;
        info.Tags = {title, "", album};
        Form->PlaylistEntries().SetInfo(Form->PlaylistEntries()[Form->Count() - 1].Id, info);
    }
    files.Failing = b;
    QMenu menu;
    TPropertiesCommand command(Form->Player(), menu, *Form, *Form->lbPlaylist, std::move(fake));
    std::vector<std::string> messages;
    command.OnMessage = [&](const std::string& text) { messages.push_back(text); };
    command.OnDialog = [&](TPropertiesDialog& dialog) {
        dialog.WholeAlbum()->setChecked(true);
        EXPECT_EQ(dialog.Targets().size(), 2u);
        EXPECT_EQ(dialog.Field(TTagKey::Title)->placeholderText(), "(differs)");
        EXPECT_EQ(dialog.Field(TTagKey::Genre)->text(), "Rock");
        QTest::keyClicks(dialog.Field(TTagKey::Genre), "; Blues ;");
        QTest::keyClicks(dialog.Field(TTagKey::Album), "");  // touched, unchanged
        EXPECT_FALSE(dialog.ReplaceCover(a)) << "not a picture";
        dialog.RemoveCover();
        return true;
    };
    Form->SetItemIndex(0);
    command.Open();
    ASSERT_EQ(files.Written.size(), 1u);
    const TTagChanges& written = files.Written.at(a);
    for (size_t k = 0; k < kTagKeyCount; ++k) EXPECT_EQ(written.Fields[k].has_value(), k == 7) << k;
    EXPECT_EQ(*written.Fields[7], (TTagValues{"Rock", "Blues"}));
    EXPECT_EQ(written.Cover, TTagChanges::TCover::Remove);
    EXPECT_EQ(messages, std::vector<std::string>{b + ": No space left on device"});
}

TEST_F(PropertiesTest, TwoRowsEditedWhileOnePlays) {
    const std::string one = Dir + "one.flac", two = Dir + "two.flac";
    ASSERT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 '" + Dir + "t.wav' synth 20 sine 440 && " +
                   "flac -s -T ARTIST=Old -T TITLE=One -T ALBUM=Alb '" + Dir + "t.wav' -o '" + one +
                   "' && flac -s -T ARTIST=Old -T TITLE=Two -T ALBUM=Alb '" + Dir + "t.wav' -o '" +
                   two + "'"));
    AddFiles({one, two});
    ASSERT_TRUE(WaitFor([&] {
        return Rows() == std::vector<std::string>{"Old - One", "Old - Two"} &&
               Form->PlaylistEntries()[1].Info.Tags.Album == "Alb";
    }));
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return RingPlaying() && Form->audOut->Input()->Delivered() > 0; }));
    const int32_t opens = Sound->OpenCount();
    // The bus as a client sees it: what it announces.
    TControllerPlayer bus(Form->Player(), *Form);
    TMprisService mpris(bus);
    mpris.Refresh();
    QVariantMap announced;
    mpris.Notify = [&](const QString&, const QVariantMap& changed) {
        if (changed.contains("Metadata")) announced = changed.value("Metadata").toMap();
    };

    // Alt+Enter opens the dialog; the user takes the whole album and types
    // a new artist and year. The title, which differs, is left alone.
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TPropertiesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = true;
        ASSERT_NE(dialog->WholeAlbum(), nullptr);
        dialog->WholeAlbum()->setChecked(true);
        EXPECT_EQ(dialog->Field(TTagKey::Title)->text(), "");
        EXPECT_EQ(dialog->Field(TTagKey::Title)->placeholderText(), "(differs)");
        EXPECT_EQ(dialog->Field(TTagKey::Album)->text(), "Alb");
        EXPECT_TRUE(dialog->FactsText().contains("2 files")) << dialog->FactsText().toStdString();
        dialog->Field(TTagKey::Artist)->selectAll();
        QTest::keyClicks(dialog->Field(TTagKey::Artist), "New Artist");
        QTest::keyClicks(dialog->Field(TTagKey::Date), "1999");
        dialog->accept();
    });
    QTest::keyClick(Form->lbPlaylist, Qt::Key_Return, Qt::AltModifier);
    ASSERT_TRUE(shown);

    EXPECT_EQ(Rows(), (std::vector<std::string>{"New Artist - One", "New Artist - Two"}));
    EXPECT_EQ(Titles(), Rows()) << "what the session saves";
    EXPECT_TRUE(Form->windowTitle().startsWith("New Artist - One"))
        << Form->windowTitle().toStdString();
    ASSERT_TRUE(WaitFor([&] { return !announced.isEmpty(); }));
    // The simulated device plays fast: the second track may be heard by now.
    EXPECT_TRUE(QStringList({"One", "Two"}).contains(announced.value("xesam:title").toString()));
    EXPECT_EQ(announced.value("xesam:artist").toStringList(), QStringList{"New Artist"});
    EXPECT_EQ(announced.value("xesam:album").toString(), "Alb");
    auto editor = CreateFileTagEditor();
    for (const std::string& f : {one, two}) {
        const TTagSnapshot snap = editor->Read(f);
        EXPECT_EQ(snap.Fields[static_cast<size_t>(TTagKey::Artist)], TTagValues{"New Artist"});
        EXPECT_EQ(snap.Fields[static_cast<size_t>(TTagKey::Date)], TTagValues{"1999"});
    }

    // The input that plays kept the file it opened: it plays on, and joins
    // the next track without a gap.
    bool gap = false;
    EXPECT_TRUE(WaitFor(
        [&] {
            gap = gap || !RingPlaying();
            return Form->PlaylistEntries().PlayingIndex() == 1;
        },
        20000));
    EXPECT_EQ(Sound->OpenCount(), opens) << "the device was never opened again: no gap";
    EXPECT_FALSE(gap);
    EXPECT_TRUE(WaitFor([&] { return Form->audOut->Input()->Delivered() > 0; }));
    EXPECT_TRUE(Boxes.empty()) << Boxes.front().Text.toStdString();
}

TEST_F(PropertiesTest, AFileThatCannotBeWrittenIsNamedAndTheRowStays) {
    const std::string file = Dir + "gone.flac";
    ASSERT_TRUE(Sh("sox -n -r 44100 -c 1 -b 16 '" + Dir + "t.wav' synth 0.2 sine 440 && flac -s " +
                   "-T TITLE=Kept '" + Dir + "t.wav' -o '" + file + "'"));
    AddFiles({file});
    ASSERT_TRUE(WaitFor([&] { return Rows() == std::vector<std::string>{"Kept"}; }));
    Form->SetItemIndex(0);
    QAction* action = Form->findChild<QAction*>("Properties");
    ASSERT_NE(action, nullptr);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TPropertiesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->Field(TTagKey::Title), " changed");
        // Someone else rewrites the file meanwhile.
        Sh("metaflac --set-tag=GENRE=Other '" + file + "'");
        dialog->accept();
    });
    action->trigger();
    EXPECT_EQ(Rows(), std::vector<std::string>{"Kept"});
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text.toStdString(), file + ": " + kFileChangedText);
}

}  // namespace
}  // namespace quillet::test
