#include "art_loader.h"

#include <QBuffer>
#include <QImageReader>
#include <filesystem>
#include <fstream>

#include "album_art.h"
#include "ffmpeg_picture.h"
#include "paths.h"

namespace quillet {
namespace {

QImage DecodeBounded(QImageReader& reader, int side) {
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid()) {
        if (qint64{size.width()} * size.height() > kArtMaxPixels) return {};
        // JPEG scales while decoding: a huge photo never lands whole in memory.
        if (size.width() > side || size.height() > side)
            reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio));
    }  // else Qt's own allocation limit bounds the decode
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side || image.height() > side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// Whether the picture decodes within our own caps, from its header alone: a
// desktop handed one we refuse would decode it whole.
bool WithinCaps(QImageReader& reader) {
    const QSize size = reader.size();
    return size.isValid() && qint64{size.width()} * size.height() <= kArtMaxPixels;
}

bool SmallRegularFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p(path);
    return std::filesystem::is_regular_file(p, ec) &&
           std::filesystem::file_size(p, ec) <= kMaxPictureBytes && !ec;
}

}  // namespace

QImage DecodePicture(const std::vector<uint8_t>& data, int side) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    return DecodeBounded(reader, side);
}

TLoadedArt LoadArt(const std::string& trackPath, int side) {
    TLoadedArt art;
    if (trackPath.empty() || IsUrl(trackPath)) return art;
    TAlbumArt found = FindAlbumArt(trackPath, OfferAttachedPictures);
    if (found.Embedded) {
        art.Image = DecodePicture(found.Embedded->Data, side);
    } else if (!found.ImagePath.empty() && SmallRegularFile(found.ImagePath)) {
        QImageReader reader(QString::fromStdString(found.ImagePath));
        art.Image = DecodeBounded(reader, side);
    }
    if (art.Image.isNull()) return art;
    QBuffer thumb(&art.ThumbPng);
    thumb.open(QIODevice::WriteOnly);
    art.Image.scaled(kArtThumbSide, kArtThumbSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .save(&thumb, "PNG");
    return art;
}

std::string ArtFileOf(const std::string& trackPath) {
    if (trackPath.empty() || IsUrl(trackPath)) return {};
    const TAlbumArt found = FindAlbumArt(trackPath, OfferAttachedPictures);
    if (found.Embedded) {
        const QByteArray bytes =
            QByteArray::fromRawData(reinterpret_cast<const char*>(found.Embedded->Data.data()),
                                    static_cast<qsizetype>(found.Embedded->Data.size()));
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer);
        return WithinCaps(reader) ? WriteArtCache(*found.Embedded) : std::string();
    }
    if (found.ImagePath.empty() || !SmallRegularFile(found.ImagePath)) return {};
    // Named like a picture is not enough: a client given it must decode it.
    uint8_t head[16] = {};
    std::ifstream in(found.ImagePath, std::ios::binary);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (SniffPictureType(head, static_cast<size_t>(in.gcount())).empty()) return {};
    QImageReader reader(QString::fromStdString(found.ImagePath));
    return WithinCaps(reader) ? found.ImagePath : std::string();
}

}  // namespace quillet
