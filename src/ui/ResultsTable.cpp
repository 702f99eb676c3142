#include "ui/ResultsTable.h"

#include "model/Settings.h"
#include "scan/Addresslist.h"

#include <QAccessible>
#include <QApplication>
#include <QBrush>
#include <QElapsedTimer>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <limits>

namespace quarlo {

namespace {

// Thresholds of the expansion rule: a server row is shown from level 1, an
// answer row from level 2.
constexpr int kServerLevel = 1;
constexpr int kAnswerLevel = 2;

// Where the row stands in display order: its row numbers from the top down.
std::array<int, 3> rowPath(const QModelIndex& index)
{
    std::array<int, 3> path{-1, -1, -1};
    int depth = 0;
    for (QModelIndex i = index; i.isValid(); i = i.parent()) ++depth;
    for (QModelIndex i = index; i.isValid() && depth > 0; i = i.parent())
        if (--depth < 3) path[static_cast<size_t>(depth)] = i.row();
    return path;
}

} // namespace

// Address rows stand taller than the rows under them.
//
// Without uniform row heights QTreeView asks for the height of every row
// between the top of the viewport and a changed row, and after each
// insertion it forgets the heights it had. Measuring text for each of those
// makes a scan of thousands of addresses crawl, so the height is measured
// once per kind of row and column and then reused. Widths are measured only
// when the view sizes a column to its contents.
class ResultsRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setAddressRowHeight(int height)
    {
        addressRowHeight_ = height;
        forgetHeights();
    }
    void forgetHeights() { heights_ = {}; }
    void setMeasureWidths(bool on) { measureWidths_ = on; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int kind = index.data(ResultsModel::KindRole).toInt();
        const int column = index.column();
        if (kind < 0 || kind >= 3 || column < 0 || column >= ResultsModel::kColumns)
            return QStyledItemDelegate::sizeHint(option, index);
        int& height = heights_[static_cast<size_t>(kind)][static_cast<size_t>(column)];
        QSize size;
        if (height <= 0 || measureWidths_) {
            size = QStyledItemDelegate::sizeHint(option, index);
            if (kind == static_cast<int>(ResultsModel::Kind::Address))
                size.setHeight(std::max(size.height(), addressRowHeight_));
            if (height <= 0) height = size.height();
        }
        return QSize(size.width(), height);
    }

    // A cell whose text is cut short shows it in full as its tooltip, after
    // the cell's own tooltip if it has one.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (!event || !view || event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QString tip = index.data(Qt::ToolTipRole).toString();
        const QString full = index.data(Qt::DisplayRole).toString().trimmed();
        if (!full.isEmpty() && textCut(option, index, view)) {
            tip = tip.isEmpty() ? full : tip + QLatin1Char('\n') + full;
            // TXT texts are the list operator's words: shown as they are,
            // even when they look like markup.
            if (Qt::mightBeRichText(tip)) tip = Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal);
        }
        QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
        event->setAccepted(!tip.isEmpty());
        return event->isAccepted();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        // TXT records may hold line breaks (which the base class has turned
        // into line separators by now); rows are one line high, their
        // heights measured once, so show them on one line.
        QString& text = option->text;
        const auto isBreak = [](QChar c) {
            return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator;
        };
        if (std::none_of(text.cbegin(), text.cend(), isBreak)) return;
        QString flat;
        flat.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!isBreak(text[i])) {
                flat += text[i];
            } else if (!(text[i] == QLatin1Char('\r') && i + 1 < text.size() && isBreak(text[i + 1]))) {
                flat += QLatin1Char(' ');
            }
        }
        text = flat;
    }

private:
    // Whether the style elides the text: it draws the text in the item's
    // text rectangle less a margin on either side.
    bool textCut(const QStyleOptionViewItem& option, const QModelIndex& index, const QWidget* widget) const
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        if (item.text.isEmpty()) return false;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return QFontMetrics(item.font).horizontalAdvance(item.text) > text.width() - 2 * margin;
    }

    int addressRowHeight_ = 0;
    bool measureWidths_ = false;
    mutable std::array<std::array<int, ResultsModel::kColumns>, 3> heights_{};
};

ResultsTable::ResultsTable(Addresslist& list, QWidget* parent)
    : QTreeView(parent), list_(list), settings_(list.settings()), model_(new ResultsModel(settings_, this)),
      delegate_(new ResultsRowDelegate(this))
{
    setModel(model_);
    setItemDelegate(delegate_);

    QFont arial = font();
    arial.setFamilies({QStringLiteral("Arial")});
    setFont(arial);

    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    // Address rows are taller than the rest, so heights cannot be uniform.
    // What that costs QTreeView on long lists is kept down by the delegate's
    // height cache, dataChanged and visualRegionForSelection below.
    setUniformRowHeights(false);
    setRootIsDecorated(true);
    setWordWrap(false);
    // The URL column takes whatever room the others leave (TXT texts are
    // long), so the user sizes it only through them.
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(kUrlColumn, QHeaderView::Fixed);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column != kUrlColumn) fitLastColumn();
    });

    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first) { onRowsInserted(parent, first); });
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &ResultsTable::onRowsAboutToBeRemoved);
    const auto pending = [this] { layoutPending_ = true; };
    connect(model_, &QAbstractItemModel::rowsRemoved, this, pending);
    connect(model_, &QAbstractItemModel::modelReset, this, pending);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { closed_.clear(); });
    connect(this, &QTreeView::clicked, this, &ResultsTable::onClicked);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) { onExpansionChanged(index, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) { onExpansionChanged(index, false); });

    queueTimer_.setSingleShot(true);
    queueTimer_.setInterval(0);
    connect(&queueTimer_, &QTimer::timeout, this, &ResultsTable::drawQueued);

    GridReset();
}

ResultsTable::~ResultsTable() = default;

void ResultsTable::GridReset()
{
    queue_.clear();
    unplaced_.clear();
    queueTimer_.stop();
    model_->clear();

    const QFontMetrics metrics(font());
    const int x = metrics.horizontalAdvance(QLatin1Char('X'));
    setColumnWidth(kTargetColumn, 38 * x);
    setColumnWidth(kReasonColumn, 40 * x);
    urlColumnWidth_ = 40 * x;
    setColumnWidth(kUrlColumn, urlColumnWidth_);
    header()->setFixedHeight(qRound(2.5 * metrics.height()));
    delegate_->setAddressRowHeight(qRound(1.5 * metrics.height()));
    fitLastColumn();
}

void ResultsTable::fitLastColumn()
{
    if (fitting_) return;
    QHeaderView* const head = header();
    if (head->count() <= kUrlColumn) return;
    int others = 0;
    for (int column = 0; column < kUrlColumn; ++column)
        if (!head->isSectionHidden(column)) others += head->sectionSize(column);
    const int width = std::max(urlColumnWidth_, viewport()->width() - others);
    if (head->sectionSize(kUrlColumn) == width) return;
    fitting_ = true;
    head->resizeSection(kUrlColumn, width);
    fitting_ = false;
}

void ResultsTable::resizeEvent(QResizeEvent* event)
{
    // Called for the viewport, also when a scroll bar comes or goes.
    QTreeView::resizeEvent(event);
    fitLastColumn();
}

void ResultsTable::RefreshData()
{
    deferLayout();
    if (model_->rowCount() > 0) {
        for (const AddressPtr& address : list_) UpdateRow(address);
        return;
    }
    // An emptied list leaves the grid as GridReset left it, without a
    // second reset.
    if (list_.Count() == 0) return;
    // An empty grid (a new scan, a loaded list) is filled in one go; the
    // view learns the rows' expansion afterwards. Beyond the first rows the
    // queue places the rest in order, a slice at a time.
    std::vector<AddressPtr> later;
    model_->beginBulkAppend();
    for (const AddressPtr& address : list_) {
        if (static_cast<size_t>(model_->rowCount()) < kDrawAtOnce)
            model_->update(*address);
        else
            later.push_back(address);
    }
    model_->endBulkAppend();
    queueRows(later);
    deferLayout();
    applyLevels();
}

void ResultsTable::applyLevels()
{
    const bool servers = settings_.ExpansionLevel() >= kServerLevel;
    const bool answers = settings_.ExpansionLevel() >= kAnswerLevel;
    const int addresses = model_->rowCount();
    for (int row = 0; row < addresses; ++row) {
        const QModelIndex address = model_->index(row, 0);
        const int count = model_->rowCount(address);
        if (count == 0) continue;
        setExpanded(address, servers);
        if (!servers) closed_.insert(address.internalPointer());
        for (int child = 0; child < count; ++child) {
            const QModelIndex server = model_->index(child, 0, address);
            if (!model_->hasChildren(server)) continue;
            setExpanded(server, answers);
            if (!answers) closed_.insert(server.internalPointer());
        }
    }
}

void ResultsTable::UpdateRows(const std::vector<AddressPtr>& addresses)
{
    // A few rows are cheaper to place one by one than the whole view.
    constexpr size_t kDeferFrom = 32;
    if (addresses.size() >= kDeferFrom) deferLayout();
    for (const AddressPtr& address : addresses) UpdateRow(address);
}

void ResultsTable::RefreshVerdicts()
{
    std::vector<AddressPtr> changed;
    int position = 0;
    for (const AddressPtr& address : list_)
        if (!model_->showsVerdict(*address, position++)) changed.push_back(address);
    if (changed.size() > kDrawAtOnce)
        queueRows(changed);
    else
        UpdateRows(changed);
}

void ResultsTable::queueRows(const std::vector<AddressPtr>& addresses)
{
    for (const AddressPtr& address : addresses) {
        if (!model_->addressIndex(address->Key()).isValid()) unplaced_.insert(address.get());
        queue_.push_back(address);
    }
    if (!queue_.empty() && !queueTimer_.isActive()) queueTimer_.start();
}

void ResultsTable::drawQueued()
{
    constexpr qint64 kSliceMs = 25;
    QElapsedTimer clock;
    clock.start();
    deferLayout();
    while (!queue_.empty() && clock.elapsed() < kSliceMs) {
        const AddressPtr address = std::move(queue_.front());
        queue_.pop_front();
        unplaced_.remove(address.get());
        // Gone from the list meanwhile: nothing to draw.
        if (list_.Item(address->Key()) == address) UpdateRow(address);
    }
    if (queue_.empty())
        unplaced_.clear();
    else
        queueTimer_.start();
}

void ResultsTable::deferLayout()
{
    scheduleDelayedItemsLayout();
    layoutPending_ = true;
}

void ResultsTable::UpdateRow(const AddressPtr& address)
{
    if (!address) return;
    // Its place comes when the queue reaches it; it draws the latest state.
    if (!unplaced_.isEmpty() && unplaced_.contains(address.get()) && !model_->addressIndex(address->Key()).isValid())
        return;
    model_->update(*address);
}

void ResultsTable::onRowsInserted(const QModelIndex& parent, int first)
{
    // Which changes make the view relayout later, as QTreeView decides it:
    // rows added at the top level or under a shown, expanded row, and any
    // removal. See dataChanged.
    if (!parent.isValid()) {
        layoutPending_ = true;
        return;
    }
    if (isExpanded(parent) && rowVisible(parent)) layoutPending_ = true;
    const void* const id = parent.internalPointer();
    const bool firstRows = first == 0;
    // The view knows best once there are rows under it (the user may have
    // used any of its ways to expand or collapse); before that only our
    // note can.
    const bool open = firstRows ? !closed_.contains(id) : isExpanded(parent);
    const int threshold = parent.parent().isValid() ? kAnswerLevel : kServerLevel;
    if (!open || (firstRows && settings_.ExpansionLevel() < threshold)) {
        closed_.insert(id);
        setExpanded(parent, false);
    } else if (firstRows) {
        // The view never expands a row that had no children: tell it now.
        closed_.remove(id);
        setExpanded(parent, true);
    }
}

void ResultsTable::onRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    if (closed_.isEmpty()) return;
    // The memory of a removed row may come back as another row.
    std::vector<QModelIndex> stack;
    for (int row = first; row <= last; ++row) stack.push_back(model_->index(row, 0, parent));
    while (!stack.empty()) {
        const QModelIndex index = stack.back();
        stack.pop_back();
        closed_.remove(index.internalPointer());
        for (int row = model_->rowCount(index) - 1; row >= 0; --row) stack.push_back(model_->index(row, 0, index));
    }
}

void ResultsTable::onExpansionChanged(const QModelIndex& index, bool expanded)
{
    if (!index.isValid()) return;
    if (expanded)
        closed_.remove(index.internalPointer());
    else
        closed_.insert(index.internalPointer());
}

bool ResultsTable::shownExpanded(const QModelIndex& index) const
{
    if (!model_->hasChildren(index)) return !closed_.contains(index.internalPointer());
    return isExpanded(index);
}

void ResultsTable::doItemsLayout()
{
    QElapsedTimer clock;
    clock.start();
    QTreeView::doItemsLayout();
    lastLayoutMs_ = clock.elapsed();
    layoutPending_ = false;
}

void ResultsTable::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // To repaint a changed row QTreeView adds up the heights of all rows
    // from the top of the viewport down to it, which for a row far below
    // costs a walk over thousands. A row out of sight needs no repaint.
    // While a relayout is pending the view ignores the change anyway, and
    // asking which rows are shown would force that relayout now.
    const bool skip = !layoutPending_ && isVisible() && !uniformRowHeights() && !QAccessible::isActive()
        && !rowsShown(topLeft, bottomRight);
    if (!skip) QTreeView::dataChanged(topLeft, bottomRight, roles);
}

QRegion ResultsTable::visualRegionForSelection(const QItemSelection& selection) const
{
    // The same walk once per range: past a handful of ranges (select all on a
    // long list has thousands) repainting everything shown is far cheaper.
    constexpr qsizetype kMeasuredRanges = 16;
    if (!uniformRowHeights() && selection.size() > kMeasuredRanges) return QRegion(viewport()->rect());
    return QTreeView::visualRegionForSelection(selection);
}

bool ResultsTable::rowVisible(const QModelIndex& index) const
{
    if (!index.isValid()) return false;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        if (!isExpanded(parent)) return false;
    return true;
}

bool ResultsTable::rowsShown(const QModelIndex& topLeft, const QModelIndex& bottomRight) const
{
    if (!topLeft.isValid() || !bottomRight.isValid()) return true;
    if (!rowVisible(topLeft)) return false;
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid()) return true;
    const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
    if (rowPath(bottomRight) < rowPath(top)) return false;
    return !bottom.isValid() || rowPath(bottom) >= rowPath(topLeft);
}

int ResultsTable::sizeHintForColumn(int column) const
{
    delegate_->setMeasureWidths(true);
    const int width = QTreeView::sizeHintForColumn(column);
    delegate_->setMeasureWidths(false);
    return width;
}

void ResultsTable::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) delegate_->forgetHeights();
}

int ResultsTable::AddressRowCount() const
{
    return model_->rowCount();
}

std::vector<QModelIndex> ResultsTable::shownRows() const
{
    std::vector<QModelIndex> rows;
    std::vector<QModelIndex> stack;
    const auto pushChildren = [&](const QModelIndex& parent) {
        for (int row = model_->rowCount(parent) - 1; row >= 0; --row) stack.push_back(model_->index(row, 0, parent));
    };
    pushChildren(QModelIndex());
    while (!stack.empty()) {
        const QModelIndex index = stack.back();
        stack.pop_back();
        rows.push_back(index);
        if (model_->hasChildren(index) && isExpanded(index)) pushChildren(index);
    }
    return rows;
}

ResultsTable::Span ResultsTable::selectionSpan(const std::vector<QModelIndex>& rows) const
{
    Span span;
    if (!selectionModel()) return span;
    QHash<const void*, int> position;
    position.reserve(static_cast<qsizetype>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) position.insert(rows[i].internalPointer(), static_cast<int>(i));

    int first = std::numeric_limits<int>::max();
    int last = -1;
    int left = ResultsModel::kColumns;
    int right = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        bool shown = false;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const auto it = position.constFind(model_->index(row, 0, range.parent()).internalPointer());
            if (it == position.cend()) continue; // under a collapsed row
            first = std::min(first, it.value());
            last = std::max(last, it.value());
            shown = true;
        }
        if (shown) {
            left = std::min(left, range.left());
            right = std::max(right, range.right());
        }
    }
    if (last < 0) return span;
    return Span{first, last, left, right};
}

QStringList ResultsTable::SelectedKeys() const
{
    const std::vector<QModelIndex> rows = shownRows();
    const Span span = selectionSpan(rows);
    QStringList keys;
    for (int i = span.first; i >= 0 && i <= span.last; ++i)
        keys << rows[static_cast<size_t>(i)].data(ResultsModel::KeyRole).toString();
    return keys;
}

QString ResultsTable::SelectionText() const
{
    const std::vector<QModelIndex> rows = shownRows();
    const Span span = selectionSpan(rows);
    QStringList lines;
    const bool wholeGrid = span.first == 0 && span.last == static_cast<int>(rows.size()) - 1 && span.left == 0
        && span.right == ResultsModel::kColumns - 1;
    if (wholeGrid) {
        QStringList headers;
        for (int column = 0; column < ResultsModel::kColumns; ++column)
            headers << model_->headerData(column, Qt::Horizontal).toString();
        lines << headers.join(QLatin1Char('\t'));
    }
    for (int i = span.first; i >= 0 && i <= span.last; ++i) {
        const QModelIndex& row = rows[static_cast<size_t>(i)];
        QStringList cells;
        for (int column = span.left; column <= span.right; ++column)
            cells << row.siblingAtColumn(column).data(Qt::DisplayRole).toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QStringLiteral("\r\n"));
}

void ResultsTable::SelectAll()
{
    selectAll();
}

void ResultsTable::selectAll()
{
    if (!selectionModel() || selectionMode() == SingleSelection || selectionMode() == NoSelection) return;
    // QTreeView's own version asks for whole rows, which the selection model
    // merges range by range in quadratic time: seconds for a long list. One
    // range per shown group of siblings, already spanning every column, is
    // the same selection.
    QItemSelection all;
    std::vector<QModelIndex> parents{QModelIndex()};
    while (!parents.empty()) {
        const QModelIndex parent = parents.back();
        parents.pop_back();
        const int count = model_->rowCount(parent);
        if (count == 0) continue;
        all.append(QItemSelectionRange(model_->index(0, 0, parent),
                                       model_->index(count - 1, ResultsModel::kColumns - 1, parent)));
        for (int row = 0; row < count; ++row) {
            const QModelIndex child = model_->index(row, 0, parent);
            if (model_->hasChildren(child) && isExpanded(child)) parents.push_back(child);
        }
    }
    // The window's Delete acts only with the current cell in the first
    // column; select all followed by Delete must empty the list wherever the
    // cursor was. The cursor moves without touching the selection, which
    // is set right after.
    const QModelIndex first = model_->index(0, kTargetColumn);
    if (first.isValid()) selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

TableSnapshot ResultsTable::Snapshot() const
{
    TableSnapshot snapshot;
    for (int column = 0; column < ResultsModel::kColumns; ++column) {
        // Reports are in English whatever the window's language.
        snapshot.headers << model_->headerData(column, Qt::Horizontal, ResultsModel::SourceTextRole).toString();
        snapshot.columnWidths << columnWidth(column);
    }

    const auto add = [&](const auto& self, const QModelIndex& index, int level, bool shown) -> void {
        SnapshotRow row;
        row.level = level;
        row.hasChildren = model_->hasChildren(index);
        row.expanded = shownExpanded(index);
        row.shown = shown;
        model_->snapshotRow(index, row);
        snapshot.rows.push_back(std::move(row));
        const int count = model_->rowCount(index);
        for (int child = 0; child < count; ++child)
            self(self, model_->index(child, 0, index), level + 1, shown && shownExpanded(index));
    };
    const int addresses = model_->rowCount();
    for (int row = 0; row < addresses; ++row) add(add, model_->index(row, 0), 0, true);
    return snapshot;
}

bool ResultsTable::selectionInOneRowOrColumn() const
{
    if (!selectionModel()) return true;
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty()) return true;
    const QItemSelectionRange& head = selection.first();
    bool oneRow = true;
    bool oneColumn = true;
    for (const QItemSelectionRange& range : selection) {
        oneRow =
            oneRow && range.top() == range.bottom() && range.top() == head.top() && range.parent() == head.parent();
        oneColumn = oneColumn && range.left() == range.right() && range.left() == head.left();
    }
    return oneRow || oneColumn;
}

void ResultsTable::onClicked(const QModelIndex& index)
{
    if (!index.isValid() || !selectionInOneRowOrColumn()) return;
    const QString link = index.data(ResultsModel::LinkRole).toString();
    if (!link.isEmpty()) emit LinkClicked(link);
}

} // namespace quarlo
