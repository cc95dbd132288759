// What the main window keeps for its features beyond the controls it was
// drawn with: the time shown, the caption of the track heard, titles and
// lengths read from the files, growing with the window, keys, and the list's
// context menu. The window's methods for them are in window_features.cpp.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "add_music.h"
#include "art_view.h"
#include "entry_reader.h"
#include "key_hints.h"
#include "list_filter.h"
#include "list_tabs.h"
#include "open_url.h"
#include "playlist_open.h"
#include "properties_dialog.h"
#include "queue_actions.h"
#include "sheet_files.h"
#include "sound_menu.h"
#include "stream_titles.h"
#include "window_keys.h"
#include "window_layout.h"

namespace quillet {

struct TWindowFeatures {
    TWindowFeatures(const QSize& designSize, TPlaybackController& player,
                    std::function<void(QWidget*, const QString&)> showHint)
        : Layout(designSize),
          Reader(*player.Lists()),
          StreamTitles(player),
          Sheets(*player.Lists()),
          KeyHints(std::move(showHint)) {}

    // Context of every connection made for the features: they end with it,
    // before the controls they touch are destroyed.
    QObject Context;

    // Time: refreshed with each progress event, and between them by the
    // ticker while a track plays.
    QTimer Ticker;
    QString TimeText;
    // The caption's title: the entry heard, as it was named when last seen
    // (a removed entry's sound, and its caption, go on).
    QString Caption;

    TEdgeLayout Layout;
    TEntryReader Reader;
    // "Play next" and finding a track, on the list.
    std::unique_ptr<TQueueActions> Queue;
    std::unique_ptr<TListFilter> Filter;
    // The heard track's picture; goes with the features, before the player.
    std::unique_ptr<TArtView> Art;
    std::unique_ptr<TAddMusic> Adder;  // the Add dialog and "Add folder..."
    // Streams and CUE sheets (Open URL goes with the context menu).
    std::unique_ptr<TOpenUrl> OpenUrl;
    std::unique_ptr<TPropertiesCommand> Properties;  // "Properties..." and Alt+Enter
    // The equalizer and the crossfade (owned by the context menu).
    TSoundMenu* Sound = nullptr;
    QAction* OpenInNewList = nullptr;  // owned by the context menu
    // Open playlist's reading and hand-over.
    std::unique_ptr<TPlaylistOpener> Opener;
    // The lists' tabs and their commands (undo among them).
    std::unique_ptr<TListTabs> Tabs;
    TStreamTitles StreamTitles;
    TSheetFiles Sheets;

    TKeyHints KeyHints;
    std::unique_ptr<TWindowKeys> Keys;
};

}  // namespace quillet
