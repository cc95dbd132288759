// The album art of the track heard, in the window: embedded before the
// folder's image, following the heard track (not the selection), in the
// time's tooltip at the design size and beside the list in a larger window;
// a picture that does not decode shows nothing.
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>

#include "app_test_support.h"
#include "art_view.h"
#include "playlist_box.h"

namespace quillet::test {
namespace {

class ArtWindowTest : public WindowFixture {
  protected:
    TArtView& Art() const { return *Form->findChild<TArtView*>(QStringLiteral("AlbumArt")); }
    // The centre pixel of the picture shown (transparent for none).
    QColor Shown() const {
        const QImage& image = Art().Picture();
        return image.isNull() ? QColor(Qt::transparent)
                              : image.pixelColor(image.width() / 2, image.height() / 2);
    }
    bool Showing(Qt::GlobalColor colour, const std::string& track) const {
        return Shown() == QColor(colour) && Art().PictureTrack() == track;
    }
    // The list's columns all show, side by side, without a horizontal scroll.
    void ExpectColumnsFit(const char* what) const {
        const TPlaylistBox& box = *Form->lbPlaylist;
        ASSERT_FALSE(box.isHeaderHidden()) << what;
        EXPECT_FALSE(box.horizontalScrollBar()->isVisible()) << what;
        int total = 0;
        for (int column = 0; column < box.header()->count(); ++column) {
            EXPECT_GE(box.header()->sectionSize(column), 24) << what << " column " << column;
            total += box.header()->sectionSize(column);
        }
        EXPECT_LE(total, box.viewport()->width()) << what;
        EXPECT_GE(total, box.viewport()->width() - 4) << what;
    }
    // What the time's tooltip draws, as rich text does.
    QImage RenderedTip() const {
        QTextDocument doc;
        doc.setHtml(Form->lblTime->toolTip());
        QImage image(120, 120, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        doc.drawContents(&painter);
        return image;
    }
};

TEST_F(ArtWindowTest, ThePictureOfTheTrackHeardEmbeddedBeforeTheFolders) {
    WriteFile("album/a.mp3", WithId3Picture(ColourPng(Qt::red, 800, 400), std::string(64, '\0')));
    WriteFile("album/cover.png", ColourPng(Qt::blue));
    WriteFile("other/b.wav", "x");
    WriteFile("other/Folder.PNG", ColourPng(Qt::green));
    WriteFile("lies/c.wav", "x");
    WriteFile("lies/cover.jpg", "a picture's name on no picture");
    Install(TInputKind::ikMP3, kLongFrames);
    Install(TInputKind::ikWave, kLongFrames);
    AddFiles({Dir + "album/a.mp3", Dir + "other/b.wav", Dir + "lies/c.wav"});
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));

    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Showing(Qt::red, Dir + "album/a.mp3"); }));
    // Scaled while decoding, the aspect kept.
    EXPECT_EQ(Art().Picture().size(), QSize(kArtSide, kArtSide / 2));
    // At the design size nothing moves; the picture is in the time's tooltip.
    EXPECT_FALSE(Art().isVisible());
    EXPECT_EQ(Form->lbPlaylist->geometry(), QRect(11, 52, 198, 146));
    EXPECT_EQ(RenderedTip().pixelColor(20, 20), QColor(Qt::red));

    // Selecting another row changes nothing: the art is the heard track's.
    Form->SetItemIndex(1);
    QTest::qWait(50);
    EXPECT_TRUE(Showing(Qt::red, Dir + "album/a.mp3"));

    // A larger window gives the picture a square beside the list, a third
    // of the room at most.
    Form->resize(800, 600);
    ASSERT_TRUE(WaitFor([&] { return Art().isVisible(); }));
    const QRect art = Art().geometry(), list = Form->lbPlaylist->geometry();
    EXPECT_EQ(art.topLeft(), QPoint(11, 52));
    EXPECT_EQ(art.width(), art.height());
    EXPECT_EQ(art.width(), (198 + 545 - 6) / 3);
    EXPECT_GT(list.left(), art.right());
    EXPECT_EQ(list.right(), 11 + 198 + (800 - 255) - 1);
    ExpectColumnsFit("800x600");

    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return Showing(Qt::green, Dir + "other/b.wav"); }));
    EXPECT_TRUE(Art().isVisible());

    // No art that decodes: the tooltip goes, and playback goes on; the
    // picture's place stays, so the list does not move under the pointer.
    PlayRow(2);
    ASSERT_TRUE(WaitFor([&] { return Art().PictureTrack() == Dir + "lies/c.wav"; }));
    EXPECT_TRUE(Art().Picture().isNull());
    EXPECT_FALSE(Art().isVisible());
    EXPECT_EQ(Form->lbPlaylist->geometry(), list);
    EXPECT_TRUE(Form->lblTime->toolTip().isEmpty());
    EXPECT_TRUE(Form->Player().Playing());
    Form->resize(900, 700);
    QTest::qWait(50);
    ExpectColumnsFit("900x700 without a picture");
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return Showing(Qt::green, Dir + "other/b.wav"); }));
    ExpectColumnsFit("900x700 with a picture");
    EXPECT_EQ(Form->lbPlaylist->geometry().left(), 11 + (198 + 645 - 6) / 3 + 6);
    // The find field shows at the list's foot, over no scroll bar.
    QTest::keyClick(Form->lbPlaylist, Qt::Key_Slash);
    auto* field = Form->lbPlaylist->findChild<QLineEdit*>(QStringLiteral("edFilter"));
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->isVisible());
    EXPECT_TRUE(Form->lbPlaylist->viewport()->geometry().contains(field->geometry()));
    QTest::keyClick(field, Qt::Key_Escape);

    // Stopped: nothing is heard, nothing is shown.
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Showing(Qt::red, Dir + "album/a.mp3"); }));
    Form->sbStop->click();
    ASSERT_TRUE(WaitFor([&] { return Art().Picture().isNull(); }));
    EXPECT_TRUE(Art().PictureTrack().empty());
}

}  // namespace
}  // namespace quillet::test
