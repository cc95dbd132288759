// The arrow keys of a focused slider or scroll bar stay its own: the
// window's arrow shortcuts (seek, move the selection) would otherwise take
// them first. Qt asks the focus widget before any shortcut (a
// ShortcutOverride event); the sliders given here accept that question for
// the plain arrow keys, so a focused position bar only moves its thumb and
// a focused volume slider changes the volume.
//
// GUI thread only.
#pragma once

#include <QAbstractSlider>
#include <initializer_list>

namespace quillet {

void KeepArrowKeys(std::initializer_list<QAbstractSlider*> sliders);

}  // namespace quillet
