#include "slider_keys.h"

#include <QEvent>
#include <QKeyEvent>

namespace quillet {

namespace {

class TArrowKeeper : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                               key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
            // Ctrl and the like still reach the window's shortcuts.
            if (arrow && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void KeepArrowKeys(std::initializer_list<QAbstractSlider*> sliders) {
    for (QAbstractSlider* slider : sliders) slider->installEventFilter(new TArrowKeeper(slider));
}

}  // namespace quillet
