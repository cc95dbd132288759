// A window that grows: each control keeps its distance to the edges it is
// anchored to, and stretches between two opposite ones. At the design size
// every control is where it was placed.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace quillet {

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Where a control placed at `design` goes when its parent is `grow` larger
// than the design size (each way; never negative).
QRect AnchoredRect(const QRect& design, int anchors, const QSize& grow);

class TEdgeLayout {
  public:
    explicit TEdgeLayout(const QSize& designSize) : FDesignSize(designSize) {}
    // Takes the control's present geometry as its design place.
    void Add(QWidget* control, int anchors);
    // Places every control for a parent of `size`.
    void Apply(const QSize& size) const;
    const QSize& DesignSize() const { return FDesignSize; }

  private:
    struct TItem {
        QWidget* Control;
        QRect Design;
        int Anchors;
    };
    QSize FDesignSize;
    std::vector<TItem> FItems;
};

}  // namespace quillet
