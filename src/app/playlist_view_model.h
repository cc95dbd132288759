// The playlist as Qt's views see it: a table model over TPlaylistModel, one
// row per entry. Column 0 is the row's text (what the list shows at the
// window's design size); the others, shown when the window is wider, are
// the file's artist, album and length. The row playing is bold; a row whose
// file failed is dimmed and tells why in its tooltip; a queued row shows its
// place in the play queue before its text ("[1] ").
//
// GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QFont>

#include "play_queue.h"
#include "playlist_model.h"

namespace quillet {

class TPlaylistViewModel : public QAbstractTableModel, private TPlaylistListener {
    Q_OBJECT
  public:
    enum TColumn { colTitle = 0, colArtist, colAlbum, colLength, colCount };

    explicit TPlaylistViewModel(TPlaylistModel& list, QObject* parent = nullptr);
    ~TPlaylistViewModel() override;

    // Shows another list (the set's shown list changed).
    void SetList(TPlaylistModel& list);

    // Rows drag out as their entries' ids (list_tabs.h).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    // The font of the rows (the playing one is its bold form).
    void SetFont(const QFont& font) { FFont = font; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The header's texts, from the language file.
    void SetHeaders(const QStringList& headers);
    // The queue whose places the rows show (null: none); QueueChanged shows
    // its changes. Not while the list's rows are changing.
    void SetQueue(const TPlayQueue* queue);
    void QueueChanged();
    // With the artist in a column of its own, a row titled "Artist - Title"
    // from its tags shows the title alone in the first column.
    void SetArtistColumn(bool shown);

  private:
    void BeforeInsert(int first, int count) override;
    void AfterInsert(int first, int count) override;
    void BeforeRemove(int index) override;
    void AfterRemove(int index, TEntryId id) override;
    void BeforeReset() override;
    void AfterReset() override;
    void EntryChanged(int index) override;
    void PlayingChanged() override;
    void RowChanged(int row);

    TPlaylistModel* FList;
    QFont FFont;
    QStringList FHeaders;
    TEntryId FMarked = kNoEntry;  // the entry shown bold
    const TPlayQueue* FQueue = nullptr;
    bool FArtistColumn = false;
};

}  // namespace quillet
