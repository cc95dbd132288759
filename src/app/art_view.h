// The album art of the track heard, in the window. It follows the playback
// controller (the heard track's file, not the selection), has the picture
// looked up (once the track has played a moment: skipping through the list
// costs nothing), decoded and scaled on a worker of its own, and takes back only
// the answer to its latest request: an answer for a track no longer heard is
// dropped, and a request overtaken before it started is never worked on.
// Only the picture shown is held (at most kArtSide pixels a side).
//
// Where it shows: always small in the tooltip of `tipHost`; beside the list
// (or above it, in a tall window) once the window is large enough to give it
// room the list can spare, at most a third of the list's room. That place is
// kept for it whether or not the track has a picture. At the design size the
// list keeps its place and the view stays hidden.
//
// GUI thread only, but for the worker's own job (art_loader.h).
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "art_loader.h"
#include "playback_controller.h"

namespace quillet {

class TArtView : public QWidget, private TPlaybackListener {
    Q_OBJECT
  public:
    TArtView(TPlaybackController& player, QWidget* parent, QWidget* tipHost);
    ~TArtView() override;

    // Shares the list's present place (just set by the window's layout)
    // between the picture and the list.
    void Place(QWidget* list);

    // The picture shown (null for none) and the file it is for.
    const QImage& Picture() const { return FImage; }
    const std::string& PictureTrack() const { return FShownPath; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void PlaybackChanged() override;
    void Request(const std::string& path);
    void LookUp();
    void Show(const std::string& path, TLoadedArt art);
    void Relayout();

    TPlaybackController& FPlayer;
    QPointer<QWidget> FTipHost;
    QPointer<QWidget> FList;
    QRect FListRect;         // the list's place before the picture took a part
    std::string FPath;       // the file asked about last ("" when nothing plays)
    std::string FShownPath;  // the file FImage belongs to
    QImage FImage;
    QTimer FDelay;    // from a track change to its lookup
    QPixmap FScaled;  // FImage at the size last painted
    // The latest request's serial; the worker skips older ones unstarted.
    std::shared_ptr<std::atomic<uint64_t>> FLatest = std::make_shared<std::atomic<uint64_t>>(0);
    QThreadPool FWorker;  // last: its jobs end before the rest goes
};

}  // namespace quillet
