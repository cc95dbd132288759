#include "art_view.h"

#include <QPainter>

namespace quillet {
namespace {

// The picture takes a part of the list's room only while the list keeps at
// least its design size and the picture is this large.
constexpr QSize kListDesign(198, 146);
constexpr int kMinSide = 96;
constexpr int kGap = 6;
constexpr int kLookUpDelayMs = 400;

}  // namespace

TArtView::TArtView(TPlaybackController& player, QWidget* parent, QWidget* tipHost)
    : QWidget(parent), FPlayer(player), FTipHost(tipHost) {
    setObjectName(QStringLiteral("AlbumArt"));
    setAccessibleName(QStringLiteral("Album art"));
    hide();
    FWorker.setMaxThreadCount(1);
    // A lookup comes once a track: an idle thread would only hold its
    // event dispatcher's descriptor.
    FWorker.setExpiryTimeout(0);
    // Skipping through the list looks up only the track that stays.
    FDelay.setSingleShot(true);
    FDelay.setInterval(kLookUpDelayMs);
    connect(&FDelay, &QTimer::timeout, this, &TArtView::LookUp);
    FPlayer.AddListener(this);
}

TArtView::~TArtView() {
    FPlayer.RemoveListener(this);
    FLatest->fetch_add(1);  // a job waiting for the worker is not started
    FWorker.clear();
    FWorker.waitForDone();
}

void TArtView::PlaybackChanged() {
    Request(FPlayer.Playing() ? FPlayer.HeardTrack().Path : std::string());
}

void TArtView::Request(const std::string& path) {
    if (path == FPath) return;  // a sheet's next track, a repeat: the same art
    FPath = path;
    FLatest->fetch_add(1);
    if (path.empty()) {
        FDelay.stop();
        Show({}, {});
        return;
    }
    // The old picture stays until the answer comes: an album's tracks share one.
    FDelay.start();
}

void TArtView::LookUp() {
    const std::string path = FPath;
    const uint64_t serial = FLatest->load();
    FWorker.start([this, path, serial, latest = FLatest] {
        if (latest->load() != serial) return;
        TLoadedArt art = LoadArt(path);
        QMetaObject::invokeMethod(
            this,
            [this, path, serial, art = std::move(art)]() mutable {
                if (FLatest->load() == serial) Show(path, std::move(art));
            },
            Qt::QueuedConnection);
    });
}

void TArtView::Show(const std::string& path, TLoadedArt art) {
    FShownPath = path;
    FImage = std::move(art.Image);
    FScaled = QPixmap();
    if (FTipHost) {
        FTipHost->setToolTip(art.ThumbPng.isEmpty()
                                 ? QString()
                                 : QStringLiteral("<img src=\"data:image/png;base64,%1\">")
                                       .arg(QString::fromLatin1(art.ThumbPng.toBase64())));
    }
    Relayout();
    update();
}

void TArtView::Place(QWidget* list) {
    FList = list;
    FListRect = list->geometry();
    Relayout();
}

void TArtView::Relayout() {
    if (!FList) return;
    const QRect r = FListRect;
    QRect art, list = r;
    // The picture's place is the window's, not the track's: reserved whether
    // or not the track has a picture, so the list never moves under the
    // pointer as tracks change. A third of the room at most, so the list's
    // columns keep theirs.
    const int besideSide = std::min(r.height(), (r.width() - kGap) / 3);
    const int aboveSide = std::min(r.width(), (r.height() - kGap) / 3);
    if (besideSide >= kMinSide && r.width() - besideSide - kGap >= kListDesign.width()) {
        art = QRect(r.x(), r.y(), besideSide, besideSide);
        list.setLeft(r.x() + besideSide + kGap);
    } else if (aboveSide >= kMinSide && r.height() - aboveSide - kGap >= kListDesign.height()) {
        art = QRect(r.x(), r.y(), r.width(), aboveSide);
        list.setTop(r.y() + aboveSide + kGap);
    }
    FList->setGeometry(list);
    if (art.isEmpty() || FImage.isNull()) {
        hide();
        return;
    }
    setGeometry(art);
    show();
}

void TArtView::paintEvent(QPaintEvent*) {
    if (FImage.isNull()) return;
    const QSize fit = FImage.size().scaled(size(), Qt::KeepAspectRatio);
    if (FScaled.size() != fit)
        FScaled =
            QPixmap::fromImage(FImage.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QPainter painter(this);
    // Centred across, at the top: it lines up with the list's first row.
    painter.drawPixmap((width() - fit.width()) / 2, 0, FScaled);
}

}  // namespace quillet
