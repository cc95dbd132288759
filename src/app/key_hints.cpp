#include "key_hints.h"

namespace quillet {

void TKeyHints::LoadTexts(const TTextReader& read) {
    const QString format = QString::fromStdString(read("KeyHint", "%1 (%2)"));
    const bool whole = format.contains(QLatin1String("%1")) && format.contains(QLatin1String("%2"));
    FFormat = whole ? format : QStringLiteral("%1 (%2)");
    FSpace = QString::fromStdString(read("KeySpace", "Space"));
    FDelete = QString::fromStdString(read("KeyDelete", "Del"));
    FCtrl = QString::fromStdString(read("KeyCtrl", "Ctrl"));
}

void TKeyHints::SetKeys(const QHash<QWidget*, QKeySequence>& keys) {
    FKeys = keys;
    const QHash<QWidget*, QString> hints = FHints;
    for (auto it = hints.cbegin(); it != hints.cend(); ++it) FShow(it.key(), it.value());
}

QString TKeyHints::WithKey(QWidget* control, const QString& hint) {
    FHints.insert(control, hint);
    const auto key = FKeys.constFind(control);
    if (key == FKeys.cend()) return hint;
    const QKeyCombination combination = (*key)[0];
    QString name = combination.key() == Qt::Key_Space ? FSpace
                   : combination.key() == Qt::Key_Delete
                       ? FDelete
                       : QKeySequence(combination.key()).toString();
    if (combination.keyboardModifiers() & Qt::ControlModifier)
        name = FCtrl + QLatin1Char('+') + name;
    return FFormat.arg(hint, name);
}

}  // namespace quillet
