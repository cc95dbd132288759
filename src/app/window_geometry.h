// The main window's place between runs: its frame position and client size,
// and the widths of the list's columns, kept in section "window" of the
// state file in the player's settings folder (session_store.h).
#pragma once

#include <QRect>
#include <QSize>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

// The rect saved in `folder` (with a trailing "/"); nothing when there is no
// file or it does not hold a whole, plausible rect.
std::optional<QRect> LoadWindowGeometry(const std::string& folder);
// Saves `rect` in `folder`, creating it; other lines of the file stay. Raises
// EInOutError when the file cannot be written (the old one stays whole).
void SaveWindowGeometry(const std::string& folder, const QRect& rect);
// The column widths saved in `folder`, left to right; empty when there are
// none or any is not a plausible width.
std::vector<int> LoadColumnWidths(const std::string& folder);
// Saves the rect (if any) and the widths (if any) in one write, like
// SaveWindowGeometry.
void SaveWindowPlace(const std::string& folder, const std::optional<QRect>& rect,
                     const std::vector<int>& widths);
// A saved rect made to fit the screens there are now: no smaller than
// `minimum`, no larger than the screen it lands on, and moved onto that
// screen; centred on the first screen when it lands on none. Unchanged when
// there are no screens.
QRect FitWindowRect(const QRect& saved, const QSize& minimum, const std::vector<QRect>& screens);

}  // namespace quillet
