#include "playlist_view_model.h"

#include <QMimeData>
#include <QPalette>
#include <set>

#include "list_tabs.h"
#include "time_display.h"
#include "track_tags.h"

namespace quillet {

TPlaylistViewModel::TPlaylistViewModel(TPlaylistModel& list, QObject* parent)
    : QAbstractTableModel(parent),
      FList(&list),
      FHeaders{QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album"),
               QStringLiteral("Length")} {
    FList->AddListener(this);
}

TPlaylistViewModel::~TPlaylistViewModel() {
    FList->RemoveListener(this);
}

void TPlaylistViewModel::SetList(TPlaylistModel& list) {
    if (&list == FList) return;
    beginResetModel();
    FList->RemoveListener(this);
    FList = &list;
    FList->AddListener(this);
    FMarked = FList->PlayingId();
    endResetModel();
}

Qt::ItemFlags TPlaylistViewModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid()) f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList TPlaylistViewModel::mimeTypes() const {
    return {QLatin1String(kEntriesMime)};
}

QMimeData* TPlaylistViewModel::mimeData(const QModelIndexList& indexes) const {
    std::set<int> rows;
    for (const QModelIndex& index : indexes)
        if (FList->Contains(index.row())) rows.insert(index.row());
    if (rows.empty()) return nullptr;
    QByteArray ids;
    for (const int row : rows) {
        if (!ids.isEmpty()) ids += ',';
        ids += QByteArray::number(static_cast<qulonglong>((*FList)[static_cast<size_t>(row)].Id));
    }
    auto* data = new QMimeData;
    data->setData(QLatin1String(kEntriesMime), ids);
    return data;
}

Qt::DropActions TPlaylistViewModel::supportedDragActions() const {
    return Qt::MoveAction | Qt::CopyAction;
}

int TPlaylistViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FList->Count();
}

int TPlaylistViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colCount;
}

QVariant TPlaylistViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !FList->Contains(index.row())) return {};
    const TEntry& entry = (*FList)[static_cast<size_t>(index.row())];
    const bool failed = entry.Info.State == TEntryState::Failed;
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case colTitle: {
                    const TTrackTags& tags = entry.Info.Tags;
                    const QString title = QString::fromStdString(
                        FArtistColumn && !tags.Title.empty() &&
                                entry.RowText == JoinTagTitle(tags.Artist, tags.Title)
                            ? tags.Title
                            : entry.RowText);
                    if (const int place = FQueue ? FQueue->Position(entry.Id) : 0)
                        return QStringLiteral("[%1] ").arg(place) + title;
                    return title;
                }
                case colArtist:
                    return QString::fromStdString(entry.Info.Tags.Artist);
                case colAlbum:
                    return QString::fromStdString(entry.Info.Tags.Album);
                case colLength:
                    if (entry.Info.LengthFlicks < 0) return {};
                    return QString::fromStdString(
                        (entry.Info.LengthEstimated ? "~" : "") +
                        FormatClock(entry.Info.LengthFlicks / kFlicksPerSecond));
            }
            return {};
        case Qt::FontRole:
            if (entry.Id == FList->PlayingId()) {
                QFont bold = FFont;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::ForegroundRole:
            if (failed) return QPalette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        case Qt::ToolTipRole:
            if (failed) return QString::fromStdString(entry.Info.Error);
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == colLength)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

QVariant TPlaylistViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section >= 0 && section < FHeaders.size() ? FHeaders[section] : QVariant();
}

void TPlaylistViewModel::SetHeaders(const QStringList& headers) {
    FHeaders = headers;
    emit headerDataChanged(Qt::Horizontal, 0, colCount - 1);
}

void TPlaylistViewModel::SetQueue(const TPlayQueue* queue) {
    FQueue = queue;
    QueueChanged();
}

void TPlaylistViewModel::QueueChanged() {
    // Places move for every row behind a change: the whole title column.
    if (rowCount() > 0) emit dataChanged(index(0, colTitle), index(rowCount() - 1, colTitle));
}

void TPlaylistViewModel::SetArtistColumn(bool shown) {
    if (shown == FArtistColumn) return;
    FArtistColumn = shown;
    QueueChanged();
}

void TPlaylistViewModel::BeforeInsert(int first, int count) {
    beginInsertRows({}, first, first + count - 1);
}

void TPlaylistViewModel::AfterInsert(int, int) {
    endInsertRows();
}

void TPlaylistViewModel::BeforeRemove(int index) {
    beginRemoveRows({}, index, index);
}

void TPlaylistViewModel::AfterRemove(int, TEntryId) {
    endRemoveRows();
}

void TPlaylistViewModel::BeforeReset() {
    beginResetModel();
}

void TPlaylistViewModel::AfterReset() {
    endResetModel();
}

void TPlaylistViewModel::RowChanged(int row) {
    if (FList->Contains(row)) emit dataChanged(index(row, 0), index(row, colCount - 1));
}

void TPlaylistViewModel::EntryChanged(int row) {
    RowChanged(row);
}

void TPlaylistViewModel::PlayingChanged() {
    RowChanged(FList->IndexOf(FMarked));
    FMarked = FList->PlayingId();
    RowChanged(FList->IndexOf(FMarked));
}

}  // namespace quillet
