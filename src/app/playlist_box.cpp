#include "playlist_box.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace quillet {

namespace {

// Rows of the playlist are 13 pixels high, whatever the style would choose.
class TRowHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(13);
        return size;
    }
};

}  // namespace

TPlaylistBox::TPlaylistBox(TPlaylistModel& list, QWidget* parent)
    : QTreeView(parent), FList(&list), FViewModel(std::make_unique<TPlaylistViewModel>(list)) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new TRowHeightDelegate(this));
    setModel(FViewModel.get());
    // Rows drag onto the list tabs (list_tabs.h); nothing drops here.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    header()->setStretchLastSection(false);
    SetColumnsShown(false);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!FColumnsShown || FApplying) return;
        FWidths.clear();
        for (int c = 0; c < TPlaylistViewModel::colCount; ++c)
            FWidths.push_back(header()->sectionSize(c));
        // The title gives or takes what another column's edge moved.
        if (column != 0) FitWidths();
    });
    // After the view model: the view has taken a change before the
    // selection it left is shown.
    FList->AddListener(this);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (FInCode > 0) return;
        const QModelIndexList rows = selectionModel()->selectedRows();
        FList->Select(rows.isEmpty() ? -1 : rows.first().row());
        emit UserSelected();
    });
}

void TPlaylistBox::SetList(TPlaylistModel& list) {
    if (&list == FList) return;
    ++FInCode;
    FList->RemoveListener(this);
    FViewModel->SetList(list);
    FList = &list;
    FList->AddListener(this);  // after the view model, as at the start
    --FInCode;
    ShowSelection();
    scrollTo(model()->index(std::max(FList->Selected(), 0), 0));
}

TPlaylistBox::~TPlaylistBox() {
    FList->RemoveListener(this);
    setModel(nullptr);
}

QString TPlaylistBox::RowText(int row) const {
    return FList->Contains(row) ? QString::fromStdString((*FList)[static_cast<size_t>(row)].RowText)
                                : QString();
}

void TPlaylistBox::SelectAsUser(int row) {
    const QModelIndex at = FViewModel->index(row, 0);
    selectionModel()->setCurrentIndex(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(at);
}

void TPlaylistBox::SetColumnsShown(bool shown) {
    FColumnsShown = shown;
    // Sections shown again take their old sizes: not the user's doing.
    FApplying = true;
    setHeaderHidden(!shown);
    for (int column = 1; column < TPlaylistViewModel::colCount; ++column)
        setColumnHidden(column, !shown);
    header()->setSectionResizeMode(0, shown ? QHeaderView::Interactive : QHeaderView::Stretch);
    // The columns fit the width (FitWidths): a scroll bar would only hide
    // the last row and the find field.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FApplying = false;
    FViewModel->SetArtistColumn(shown);
    if (shown) ApplyWidths();
}

void TPlaylistBox::SetColumnWidths(const std::vector<int>& widths) {
    constexpr int kWidest = 10000;
    if (widths.size() != static_cast<size_t>(TPlaylistViewModel::colCount) ||
        std::any_of(widths.begin(), widths.end(), [](int w) { return w <= 0 || w > kWidest; }))
        return;
    FWidths = widths;
    if (FColumnsShown) ApplyWidths();
}

void TPlaylistBox::ApplyWidths() {
    std::vector<int> widths = FWidths;
    if (widths.empty()) {
        // First shown: the length column fits "12:34:56", the rest share
        // what is left, the title most.
        const int length = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 12;
        // The box's own width is set at once, its viewport's only when shown.
        const int room = contentsRect().width() - verticalScrollBar()->sizeHint().width();
        const int rest = std::max(room - length, 3 * 40);
        widths = {rest * 2 / 5, rest * 3 / 10, rest - rest * 2 / 5 - rest * 3 / 10, length};
    }
    FApplying = true;
    for (int column = 0; column < TPlaylistViewModel::colCount; ++column)
        header()->resizeSection(column, widths[static_cast<size_t>(column)]);
    FApplying = false;
    FWidths = widths;
    FitWidths();
}

void TPlaylistBox::FitWidths() {
    constexpr int kLast = TPlaylistViewModel::colCount - 1;  // the length keeps its width
    constexpr int kMinTitle = 64, kMinColumn = 24;
    if (!FColumnsShown || FWidths.size() != static_cast<size_t>(kLast + 1)) return;
    const int room = viewport()->width();
    if (room < kMinTitle + (kLast - 1) * kMinColumn + FWidths[kLast]) return;
    std::vector<int> widths = FWidths;
    int others = 0;
    for (int column = 1; column <= kLast; ++column) others += widths[static_cast<size_t>(column)];
    if (room - others < kMinTitle) {
        // The title would be squeezed out: the artist and the album give
        // way in their proportions.
        const int share = room - kMinTitle - widths[kLast];
        const int flexible = others - widths[kLast];
        others = widths[kLast];
        for (int column = 1; column < kLast; ++column) {
            int& w = widths[static_cast<size_t>(column)];
            w = std::max(kMinColumn, static_cast<int>(int64_t{w} * share / flexible));
            others += w;
        }
    }
    widths[0] = std::max(kMinColumn, room - others);  // the title takes the rest
    if (widths == FWidths && header()->sectionSize(0) == widths[0]) return;
    FApplying = true;
    for (int column = 0; column < kLast; ++column)
        header()->resizeSection(column, widths[static_cast<size_t>(column)]);
    FApplying = false;
    FWidths = widths;
}

bool TPlaylistBox::viewportEvent(QEvent* event) {
    // The viewport narrows when the vertical scroll bar comes, too.
    if (event->type() == QEvent::Resize) FitWidths();
    return QTreeView::viewportEvent(event);
}

void TPlaylistBox::BeforeInsert(int, int) {
    ++FInCode;
}

void TPlaylistBox::AfterInsert(int, int) {
    --FInCode;
    ShowSelection();
}

void TPlaylistBox::BeforeRemove(int) {
    ++FInCode;
}

void TPlaylistBox::AfterRemove(int, TEntryId) {
    --FInCode;
    ShowSelection();
}

void TPlaylistBox::BeforeReset() {
    ++FInCode;
}

void TPlaylistBox::AfterReset() {
    --FInCode;
    ShowSelection();
}

void TPlaylistBox::SelectionChanged() {
    ShowSelection();
}

void TPlaylistBox::ShowSelection() {
    if (FInCode > 0) return;
    const int row = FList->Selected();
    QItemSelectionModel* selection = selectionModel();
    const QModelIndexList now = selection->selectedRows();
    if (row < 0
            ? now.isEmpty() && !selection->currentIndex().isValid()
            : now.size() == 1 && now.first().row() == row && selection->currentIndex().row() == row)
        return;
    ++FInCode;
    // No row clears both the selection and the current row.
    if (row < 0) {
        selection->clear();
    } else {
        selection->setCurrentIndex(FViewModel->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    --FInCode;
}

}  // namespace quillet
