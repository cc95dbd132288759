#include "window_layout.h"

#include <algorithm>

namespace quillet {

QRect AnchoredRect(const QRect& design, int anchors, const QSize& grow) {
    // One axis: stretch between two anchors, follow the far edge alone, else stay.
    auto place = [](int pos, int length, bool nearEdge, bool farEdge, int extra) {
        extra = std::max(extra, 0);
        if (nearEdge && farEdge) return std::pair{pos, length + extra};
        if (farEdge) return std::pair{pos + extra, length};
        return std::pair{pos, length};
    };
    const auto [x, w] =
        place(design.x(), design.width(), anchors & akLeft, anchors & akRight, grow.width());
    const auto [y, h] =
        place(design.y(), design.height(), anchors & akTop, anchors & akBottom, grow.height());
    return {x, y, w, h};
}

void TEdgeLayout::Add(QWidget* control, int anchors) {
    FItems.push_back({control, control->geometry(), anchors});
}

void TEdgeLayout::Apply(const QSize& size) const {
    const QSize grow = size - FDesignSize;
    for (const TItem& item : FItems)
        item.Control->setGeometry(AnchoredRect(item.Design, item.Anchors, grow));
}

}  // namespace quillet
