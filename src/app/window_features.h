// What the main window keeps for its features beyond the controls it was drawn
// with: the time shown, the playing mark, titles from tags, growing with the
// window, keys, and how the list plays. The window's methods for them are in
// window_features.cpp.
#pragma once

#include <QAction>
#include <QHash>
#include <QKeySequence>
#include <QMenu>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gain.h"
#include "play_order.h"
#include "tag_titles.h"
#include "time_display.h"
#include "window_layout.h"

namespace quillet {

struct TWindowFeatures {
    explicit TWindowFeatures(const QSize& designSize) : Layout(designSize) {}

    // Context of every connection made for the features: they end with it,
    // before the controls they touch are destroyed.
    QObject Context;

    // Time: refreshed with each progress event, and between them by the
    QTimer Ticker;
    QString TimeText;

    // The playing row follows insertions and removals; removed, it is gone.
    QPersistentModelIndex PlayingIndex;
    bool Playing = false;

    // A row waiting for its title from tags: it is retitled only if it is
    // still there, still for the same file and still shows its file name.
    struct TPendingTitle {
        QPersistentModelIndex Index;
        QString RowText;
        std::string Path;
    };
    QHash<quint64, TPendingTitle> PendingTitles;
    quint64 LastTitleId = 0;
    TTagTitleReader TagReader;

    TEdgeLayout Layout;

    // The list's context menu: one of the repeat modes, and shuffle; its
    // ReplayGain submenu: one of the gains, one of the pre-amps.
    std::vector<std::pair<TRepeat, QAction*>> RepeatActions;
    QAction* ShuffleAction = nullptr;
    QMenu* GainMenu = nullptr;
    std::vector<std::pair<TReplayGainMode, QAction*>> GainActions;
    std::vector<std::pair<double, QAction*>> PreampActions;
    QString PreampFormat = QStringLiteral("Pre-amp %1 dB");

    // Hints as the language gives them, the key shown after some, and how
    // the language writes a hint with its key and the keys' names.
    QHash<QWidget*, QString> Hints;
    QHash<QWidget*, QKeySequence> HintKeys;
    QString KeyHintFormat = QStringLiteral("%1 (%2)");
    QString SpaceName = QStringLiteral("Space");
    QString DeleteName = QStringLiteral("Del");
    QString CtrlName = QStringLiteral("Ctrl");
};

}  // namespace quillet
