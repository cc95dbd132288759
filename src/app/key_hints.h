// The window's hints with the key that does the same: "Pause (Space)", as
// the language writes a hint with its key, and the keys by the language's
// names. Hints given before a control's key is known are shown again with it.
//
// GUI thread only.
#pragma once

#include <QHash>
#include <QKeySequence>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "ui_text.h"

namespace quillet {

class TKeyHints {
  public:
    // `show` puts a hint, key and all, on its control.
    explicit TKeyHints(std::function<void(QWidget*, const QString&)> show)
        : FShow(std::move(show)) {}

    // "KeyHint" (a format with %1, the hint, and %2, the key: one missing
    // either keeps the built-in one), "KeySpace", "KeyDelete", "KeyCtrl".
    void LoadTexts(const TTextReader& read);
    // The keys shown after the controls' hints; the hints given so far are
    // shown again with them.
    void SetKeys(const QHash<QWidget*, QKeySequence>& keys);
    // `hint` as shown on `control`, remembered for SetKeys.
    QString WithKey(QWidget* control, const QString& hint);

  private:
    std::function<void(QWidget*, const QString&)> FShow;
    QHash<QWidget*, QString> FHints;
    QHash<QWidget*, QKeySequence> FKeys;
    QString FFormat = QStringLiteral("%1 (%2)");
    QString FSpace = QStringLiteral("Space");
    QString FDelete = QStringLiteral("Del");
    QString FCtrl = QStringLiteral("Ctrl");
};

}  // namespace quillet
