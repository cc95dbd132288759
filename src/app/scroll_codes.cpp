#include "scroll_codes.h"

#include <QAbstractSlider>

namespace quillet {

TScrollCode ScrollCodeOf(int sliderAction, bool thumbDown, int proposed, int current) {
    switch (sliderAction) {
        case QAbstractSlider::SliderSingleStepAdd:
            return scLineDown;
        case QAbstractSlider::SliderSingleStepSub:
            return scLineUp;
        case QAbstractSlider::SliderPageStepAdd:
            return scPageDown;
        case QAbstractSlider::SliderPageStepSub:
            return scPageUp;
        case QAbstractSlider::SliderToMinimum:
            return scTop;
        case QAbstractSlider::SliderToMaximum:
            return scBottom;
        case QAbstractSlider::SliderMove:
            if (thumbDown) return scTrack;
            return proposed < current ? scLineUp : scLineDown;
        default:
            return scEndScroll;
    }
}

}  // namespace quillet
