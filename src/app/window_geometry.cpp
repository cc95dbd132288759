#include "window_geometry.h"

#include <algorithm>
#include <charconv>

#include "session_store.h"
#include "text.h"

namespace quillet {

namespace {

constexpr const char* kSection = "window";
// Far beyond any desktop; a value past it is damage, not a place.
constexpr int kLimit = 1 << 20;

std::optional<int> ReadNumber(const TStateSection& ini, const char* key) {
    const std::optional<int> value = ParseWholeNumber<int>(ini.Read(key));
    if (!value || *value < -kLimit || *value > kLimit) return std::nullopt;
    return value;
}

}  // namespace

std::optional<QRect> LoadWindowGeometry(const std::string& folder) {
    if (folder.empty()) return std::nullopt;
    const TStateSection ini(folder, kSection);
    const auto x = ReadNumber(ini, "X"), y = ReadNumber(ini, "Y");
    const auto w = ReadNumber(ini, "Width"), h = ReadNumber(ini, "Height");
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0) return std::nullopt;
    return QRect(*x, *y, *w, *h);
}

void SaveWindowGeometry(const std::string& folder, const QRect& rect) {
    SaveWindowPlace(folder, rect, {});
}

std::vector<int> LoadColumnWidths(const std::string& folder) {
    if (folder.empty()) return {};
    const std::string text = TStateSection(folder, kSection).Read("Columns");
    std::vector<int> widths;
    size_t start = 0;
    while (start <= text.size() && widths.size() < 64) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::optional<int> width =
            ParseWholeNumber<int>(std::string_view(text).substr(start, comma - start));
        if (!width || *width <= 0 || *width > kLimit) return {};
        widths.push_back(*width);
        start = comma + 1;
    }
    return widths;
}

void SaveWindowPlace(const std::string& folder, const std::optional<QRect>& rect,
                     const std::vector<int>& widths) {
    if (folder.empty() || (!rect && widths.empty())) return;
    TStateSection ini(folder, kSection);
    if (rect) {
        ini.Write("X", std::to_string(rect->x()));
        ini.Write("Y", std::to_string(rect->y()));
        ini.Write("Width", std::to_string(rect->width()));
        ini.Write("Height", std::to_string(rect->height()));
    }
    if (!widths.empty()) {
        std::string text;
        for (int width : widths) text += (text.empty() ? "" : ",") + std::to_string(width);
        ini.Write("Columns", text);
    }
    ini.Save();
}

QRect FitWindowRect(const QRect& saved, const QSize& minimum, const std::vector<QRect>& screens) {
    QRect rect(saved.topLeft(), saved.size().expandedTo(minimum));
    if (screens.empty()) return rect;
    // The screen holding the window's top left corner (its title bar).
    auto on = std::find_if(screens.begin(), screens.end(),
                           [&](const QRect& s) { return s.contains(rect.topLeft()); });
    const QRect screen = on != screens.end() ? *on : screens.front();
    rect.setSize(rect.size().boundedTo(screen.size()).expandedTo(minimum));
    if (on == screens.end()) {
        rect.moveCenter(screen.center());
    } else {
        // Keep it whole on its screen where it fits.
        rect.moveLeft(
            std::max(screen.left(), std::min(rect.left(), screen.right() + 1 - rect.width())));
        rect.moveTop(
            std::max(screen.top(), std::min(rect.top(), screen.bottom() + 1 - rect.height())));
    }
    return rect;
}

}  // namespace quillet
