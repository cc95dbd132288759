#include "playlist_box.h"

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
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!FColumnsShown || FApplying) return;
        FWidths.clear();
        for (int column = 0; column < TPlaylistViewModel::colCount; ++column)
            FWidths.push_back(header()->sectionSize(column));
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
    setHorizontalScrollBarPolicy(shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
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
