#include "ui/ResultsTable.h"

#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "ui/SkullIcon.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPixmap>
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
std::array<int, 3> rowPath(const ResultsModel::Node* node)
{
    std::array<int, 3> path{-1, -1, -1};
    int depth = 0;
    for (const ResultsModel::Node* n = node; n && n->parent; n = n->parent) ++depth;
    for (const ResultsModel::Node* n = node; n && n->parent && depth > 0; n = n->parent)
        path[static_cast<size_t>(--depth)] = n->row;
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
    : QTreeView(parent), list_(list), settings_(list.settings()), cells_(settings_), model_(new ResultsModel(this)),
      delegate_(new ResultsRowDelegate(this))
{
    model_->setServerIcon(SkullIcon());
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    model_->setPlainServerIcon(QIcon(blank));
    model_->setServerBackground(ResultCells::ServerBackground());
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

    // Which changes make the view relayout later, as QTreeView decides it:
    // rows added at the top level or under a shown, expanded row, and any
    // removal. See dataChanged.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (!parent.isValid() || (isExpanded(parent) && rowVisible(model_->nodeOf(parent)))) layoutPending_ = true;
    });
    const auto pending = [this] { layoutPending_ = true; };
    connect(model_, &QAbstractItemModel::rowsRemoved, this, pending);
    connect(model_, &QAbstractItemModel::modelReset, this, pending);
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
    model_->setHeaders(ResultCells::Headers());

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
    // An empty grid (a new scan, a loaded list) is filled in one go; the
    // view learns the rows' expansion afterwards. Beyond the first rows the
    // queue places the rest in order, a slice at a time.
    std::vector<AddressPtr> later;
    model_->beginBulkAppend();
    for (const AddressPtr& address : list_) {
        if (static_cast<size_t>(model_->rowCount()) < kDrawAtOnce) UpdateRow(address);
        else later.push_back(address);
    }
    model_->endBulkAppend();
    queueRows(later);
    deferLayout();
    std::vector<Node*> stack{model_->root()};
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        for (const auto& child : node->children) {
            if (child->children.empty()) continue;
            setExpanded(model_->indexOf(child.get()), child->expanded);
            stack.push_back(child.get());
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
    const auto& rows = model_->root()->children;
    size_t position = 0;
    for (const AddressPtr& address : list_) {
        // The grid is in list order: the row at the same place is almost
        // always the address's own, which saves a search by key.
        const Node* row = position < rows.size() && rows[position]->key == address->Key()
                              ? rows[position].get()
                              : model_->find(address->Key(), Kind::Address);
        ++position;
        if (!row || row->shownVerdict != static_cast<int>(address->Verdict())) changed.push_back(address);
    }
    if (changed.size() > kDrawAtOnce) queueRows(changed);
    else UpdateRows(changed);
}

void ResultsTable::queueRows(const std::vector<AddressPtr>& addresses)
{
    for (const AddressPtr& address : addresses) {
        if (!model_->find(address->Key(), Kind::Address)) unplaced_.insert(address.get());
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
    if (queue_.empty()) unplaced_.clear();
    else queueTimer_.start();
}

void ResultsTable::deferLayout()
{
    scheduleDelayedItemsLayout();
    layoutPending_ = true;
}

void ResultsTable::UpdateRow(const AddressPtr& address)
{
    if (!address) return;
    const QString key = address->Key();
    Node* row = model_->find(key, Kind::Address);
    // Its place comes when the queue reaches it; it draws the latest state.
    if (!row && unplaced_.contains(address.get())) return;

    ResultsModel::Cells cells = row ? row->cells : ResultsModel::Cells{};
    cells[kTargetColumn] = cells_.Target(*address);

    ResultsModel::Cell& status = cells[kReasonColumn];
    const Verdict verdict = address->Verdict();
    // A clean result is final: written once, then left as it is.
    if (verdict != Verdict::Clean || status.text != ResultCells::NotListedText())
        status = cells_.Status(*address, verdict);
    if (row) model_->setCells(row, cells);
    else row = model_->appendChild(nullptr, Kind::Address, key, cells);
    row->shownVerdict = static_cast<int>(verdict);

    for (const RespondingServerPtr& server : address->RespondingServers())
        if (server) updateServer(row, key, *server);
}

void ResultsTable::updateServer(Node* addressRow, const QString& key, const RespondingServer& server)
{
    const QString serverKey = key + QLatin1Char(':') + server.ServerName();
    const bool listing = server.Listing();
    Node* serverRow = model_->find(serverKey, Kind::Server);
    if (serverRow) {
        model_->setCell(serverRow, kReasonColumn, cells_.ServerStatus(server));
        model_->setListing(serverRow, listing);
    } else {
        const bool collapse = mustCollapse(addressRow, kServerLevel);
        serverRow = model_->appendChild(addressRow, Kind::Server, serverKey, cells_.ServerRow(server), listing);
        applyExpansion(addressRow, collapse);
    }

    for (const ResponsePtr& response : server.Responses()) {
        if (!response) continue;
        const QString answerKey = serverKey + QLatin1Char(':') + response->Address();
        if (Node* answerRow = model_->find(answerKey, Kind::Answer)) {
            // TXT text comes in after the answer itself.
            ResultsModel::Cell txt = answerRow->cells[kUrlColumn];
            txt.text = ResultCells::AnswerText(*response);
            model_->setCell(answerRow, kUrlColumn, txt);
            continue;
        }
        const bool collapse = mustCollapse(serverRow, kAnswerLevel);
        model_->appendChild(serverRow, Kind::Answer, answerKey, cells_.AnswerRow(*response, server.ServerName()));
        applyExpansion(serverRow, collapse);
    }
}

bool ResultsTable::viewExpanded(const Node* node) const
{
    // The view knows best once there are children (the user may have used
    // any of its ways to expand or collapse); before that only our flag can.
    if (node->children.empty() || model_->inBulkAppend()) return node->expanded;
    return isExpanded(model_->indexOf(node));
}

bool ResultsTable::mustCollapse(const Node* parent, int threshold) const
{
    if (!viewExpanded(parent)) return true;
    return parent->children.empty() && settings_.ExpansionLevel() < threshold;
}

void ResultsTable::applyExpansion(Node* parent, bool collapse)
{
    const QModelIndex index = model_->indexOf(parent);
    // While the grid is filled in one go the view hears of it afterwards.
    const bool tellView = !model_->inBulkAppend();
    if (collapse) {
        parent->expanded = false;
        if (tellView) setExpanded(index, false);
    } else if (parent->children.size() == 1) {
        // The view never expands a node that had no children: tell it now.
        parent->expanded = true;
        if (tellView) setExpanded(index, true);
    }
}

void ResultsTable::onExpansionChanged(const QModelIndex& index, bool expanded)
{
    if (Node* node = model_->nodeOf(index)) node->expanded = expanded;
}

void ResultsTable::RemoveAddress(const QString& key)
{
    while (Node* row = model_->find(key, Kind::Address)) model_->remove(row);
}

void ResultsTable::RemoveRow(const QString& key)
{
    while (Node* row = model_->find(key)) model_->remove(row);
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

bool ResultsTable::rowVisible(const Node* node) const
{
    for (const Node* n = node ? node->parent : nullptr; n && n != model_->root(); n = n->parent)
        if (!isExpanded(model_->indexOf(n))) return false;
    return node != nullptr;
}

bool ResultsTable::rowsShown(const QModelIndex& topLeft, const QModelIndex& bottomRight) const
{
    const Node* first = model_->nodeOf(topLeft);
    const Node* last = model_->nodeOf(bottomRight);
    if (!first || !last) return true;
    if (!rowVisible(first)) return false;
    const Node* top = model_->nodeOf(indexAt(QPoint(0, 0)));
    if (!top) return true;
    const Node* bottom = model_->nodeOf(indexAt(QPoint(0, viewport()->height() - 1)));
    if (rowPath(last) < rowPath(top)) return false;
    return !bottom || rowPath(bottom) >= rowPath(first);
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
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        delegate_->forgetHeights();
}

int ResultsTable::AddressRowCount() const
{
    return model_->rowCount();
}

std::vector<const ResultsTable::Node*> ResultsTable::shownRows() const
{
    std::vector<const Node*> rows;
    std::vector<const Node*> stack;
    const auto pushChildren = [&stack](const Node* parent) {
        for (auto it = parent->children.rbegin(); it != parent->children.rend(); ++it) stack.push_back(it->get());
    };
    pushChildren(model_->root());
    while (!stack.empty()) {
        const Node* node = stack.back();
        stack.pop_back();
        rows.push_back(node);
        if (!node->children.empty() && isExpanded(model_->indexOf(node))) pushChildren(node);
    }
    return rows;
}

ResultsTable::Span ResultsTable::selectionSpan(const std::vector<const Node*>& rows) const
{
    Span span;
    if (!selectionModel()) return span;
    QHash<const Node*, int> position;
    position.reserve(static_cast<qsizetype>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) position.insert(rows[i], static_cast<int>(i));

    int first = std::numeric_limits<int>::max();
    int last = -1;
    int left = ResultsModel::kColumns;
    int right = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        bool shown = false;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const auto it = position.constFind(model_->nodeOf(model_->index(row, 0, range.parent())));
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
    const std::vector<const Node*> rows = shownRows();
    const Span span = selectionSpan(rows);
    QStringList keys;
    for (int i = span.first; i >= 0 && i <= span.last; ++i) keys << rows[static_cast<size_t>(i)]->key;
    return keys;
}

QString ResultsTable::SelectionText() const
{
    const std::vector<const Node*> rows = shownRows();
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
        const Node* node = rows[static_cast<size_t>(i)];
        QStringList cells;
        for (int column = span.left; column <= span.right; ++column)
            cells << node->cells[static_cast<size_t>(column)].text;
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
    std::vector<const Node*> parents{model_->root()};
    while (!parents.empty()) {
        const Node* parent = parents.back();
        parents.pop_back();
        const int count = static_cast<int>(parent->children.size());
        if (count == 0) continue;
        const QModelIndex parentIndex = model_->indexOf(parent);
        all.append(QItemSelectionRange(model_->index(0, 0, parentIndex),
                                       model_->index(count - 1, ResultsModel::kColumns - 1, parentIndex)));
        for (const auto& child : parent->children)
            if (!child->children.empty() && isExpanded(model_->indexOf(child.get()))) parents.push_back(child.get());
    }
    // The window's Delete acts only with the current cell in the first
    // column; select all followed by Delete must empty the list wherever the
    // cursor was. The cursor moves without touching the selection, which
    // is set right after.
    const QModelIndex first = model_->index(0, kTargetColumn);
    if (first.isValid()) selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

QString ResultsTable::KeyAt(const QModelIndex& index) const
{
    const Node* node = model_->nodeOf(index);
    return node ? node->key : QString();
}

QModelIndex ResultsTable::IndexOfKey(const QString& key, int column) const
{
    return model_->indexOf(model_->find(key), column);
}

QString ResultsTable::CellText(const QString& key, int column) const
{
    return IndexOfKey(key, column).data(Qt::DisplayRole).toString();
}

QColor ResultsTable::CellColor(const QString& key, int column) const
{
    const QVariant brush = IndexOfKey(key, column).data(Qt::ForegroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

bool ResultsTable::CellBold(const QString& key, int column) const
{
    const QVariant font = IndexOfKey(key, column).data(Qt::FontRole);
    return font.isValid() && font.value<QFont>().bold();
}

bool ResultsTable::CellUnderline(const QString& key, int column) const
{
    const QVariant font = IndexOfKey(key, column).data(Qt::FontRole);
    return font.isValid() && font.value<QFont>().underline();
}

QString ResultsTable::CellToolTip(const QString& key, int column) const
{
    return IndexOfKey(key, column).data(Qt::ToolTipRole).toString();
}

bool ResultsTable::IsExpanded(const QString& key) const
{
    const QModelIndex index = IndexOfKey(key);
    return index.isValid() && isExpanded(index);
}

QString ResultsTable::LinkFromText(const QString& text) { return ResultCells::LinkFromText(text); }

TableSnapshot ResultsTable::Snapshot() const
{
    TableSnapshot snapshot;
    snapshot.headers = ResultCells::Headers();
    for (int column = 0; column < ResultsModel::kColumns; ++column) snapshot.columnWidths << columnWidth(column);

    const auto add = [&](const auto& self, const Node* node, int level, bool shown) -> void {
        SnapshotRow row;
        row.level = level;
        row.hasChildren = !node->children.empty();
        row.expanded = viewExpanded(node);
        row.shown = shown;
        const bool tinted = node->kind == Kind::Server && node->listing;
        row.cells.reserve(ResultsModel::kColumns);
        for (int column = 0; column < ResultsModel::kColumns; ++column) {
            const ResultsModel::Cell& cell = node->cells[static_cast<size_t>(column)];
            SnapshotCell out;
            out.text = cell.text;
            out.color = cell.color;
            out.bold = cell.bold;
            out.underline = cell.underline;
            if (tinted) out.background = ResultCells::ServerBackground();
            // The same links a click in the grid opens.
            if (column == kUrlColumn) out.link = ResultCells::LinkFromText(cell.text);
            row.cells.push_back(std::move(out));
        }
        snapshot.rows.push_back(std::move(row));
        for (const auto& child : node->children) self(self, child.get(), level + 1, shown && viewExpanded(node));
    };
    for (const auto& top : model_->root()->children) add(add, top.get(), 0, true);
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
        oneRow = oneRow && range.top() == range.bottom() && range.top() == head.top()
                 && range.parent() == head.parent();
        oneColumn = oneColumn && range.left() == range.right() && range.left() == head.left();
    }
    return oneRow || oneColumn;
}

void ResultsTable::onClicked(const QModelIndex& index)
{
    if (index.column() != kUrlColumn || !model_->nodeOf(index)) return;
    if (!selectionInOneRowOrColumn()) return;
    const QString link = LinkFromText(index.data(Qt::DisplayRole).toString());
    if (!link.isEmpty()) emit LinkClicked(link);
}

} // namespace quarlo
