#include "ui/ResultsModel.h"

#include "model/Address.h"
#include "model/RespondingServer.h"
#include "model/Response.h"
#include "ui/SkullIcon.h"
#include "ui/WindowText.h"

#include <QBrush>
#include <QCoreApplication>
#include <QFont>
#include <QPixmap>
#include <algorithm>

namespace quarlo {

QString ResultsModel::ShownText(const QString& text)
{
    return WindowText::Of(text);
}

ResultsModel::ResultsModel(const Settings& settings, QObject* parent)
    : QAbstractItemModel(parent), cells_(settings), headers_(ResultCells::Headers()), serverIcon_(SkullIcon())
{
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    plainServerIcon_ = QIcon(blank);
}

ResultsModel::~ResultsModel() = default;

QString ResultsModel::StatusText(const Settings& settings, const Address& address)
{
    return ResultCells(settings).Status(address, address.Verdict()).text;
}

void ResultsModel::clear()
{
    beginResetModel();
    root_.children.clear();
    for (auto& index : byKey_) index.clear();
    endResetModel();
}

void ResultsModel::update(const Address& address)
{
    const QString key = address.Key();
    Node* row = find(key, Kind::Address);

    Cells cells = row ? row->cells : Cells{};
    cells[kTargetColumn] = cells_.Target(address);
    GridCell& status = cells[kReasonColumn];
    const Verdict verdict = address.Verdict();
    // A clean result is final: written once, then left as it is.
    if (verdict != Verdict::Clean || status.text != ResultCells::NotListedText())
        status = cells_.Status(address, verdict);
    if (row)
        setCells(row, cells);
    else
        row = appendChild(&root_, Kind::Address, key, cells);
    row->shownVerdict = static_cast<int>(verdict);

    for (const RespondingServerPtr& server : address.RespondingServers())
        if (server) updateServer(row, key, *server);
}

void ResultsModel::updateServer(Node* addressRow, const QString& key, const RespondingServer& server)
{
    // One row per list and thing asked: a host's addresses may each be listed.
    const QString serverKey = key + QLatin1Char(':') + server.ServerName()
        + (server.Subject().isEmpty() ? QString() : QLatin1Char(' ') + server.Subject());
    Node* serverRow = find(serverKey, Kind::Server);
    if (serverRow) {
        setCell(serverRow, kReasonColumn, cells_.ServerStatus(server));
        setListing(serverRow, server.Listing());
    } else {
        serverRow = appendChild(addressRow, Kind::Server, serverKey, cells_.ServerRow(server), server.Listing());
    }

    for (const ResponsePtr& response : server.Responses()) {
        if (!response) continue;
        const QString answerKey = serverKey + QLatin1Char(':') + response->Address();
        if (Node* answerRow = find(answerKey, Kind::Answer)) {
            // TXT text comes in after the answer itself.
            GridCell txt = answerRow->cells[kUrlColumn];
            txt.text = ResultCells::AnswerText(*response);
            setCell(answerRow, kUrlColumn, txt);
            continue;
        }
        appendChild(serverRow, Kind::Answer, answerKey, cells_.AnswerRow(*response, server.ServerName()));
    }
}

bool ResultsModel::showsVerdict(const Address& address, int row) const
{
    const auto& rows = root_.children;
    const QString key = address.Key();
    const Node* node = row >= 0 && static_cast<size_t>(row) < rows.size() && rows[static_cast<size_t>(row)]->key == key
        ? rows[static_cast<size_t>(row)].get()
        : find(key, Kind::Address);
    return node && node->shownVerdict == static_cast<int>(address.Verdict());
}

void ResultsModel::removeAddress(const QString& key)
{
    while (Node* row = find(key, Kind::Address)) remove(row);
}

void ResultsModel::removeRow(const QString& key)
{
    while (Node* row = find(key)) remove(row);
}

QModelIndex ResultsModel::indexOfKey(const QString& key, int column) const
{
    return indexOf(find(key), column);
}

QModelIndex ResultsModel::addressIndex(const QString& key) const
{
    return indexOf(find(key, Kind::Address));
}

ResultsModel::Node* ResultsModel::find(const QString& key, Kind kind) const
{
    return keys(kind).value(fold(key), nullptr);
}

ResultsModel::Node* ResultsModel::find(const QString& key) const
{
    const QString folded = fold(key);
    for (const auto& index : byKey_)
        if (Node* node = index.value(folded, nullptr)) return node;
    return nullptr;
}

ResultsModel::Node* ResultsModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this) return nullptr;
    return static_cast<Node*>(index.internalPointer());
}

QModelIndex ResultsModel::indexOf(const Node* node, int column) const
{
    if (!node || node == &root_ || column < 0 || column >= kColumns) return QModelIndex();
    return createIndex(node->row, column, const_cast<Node*>(node));
}

ResultsModel::Node* ResultsModel::appendChild(Node* parent, Kind kind, const QString& key, const Cells& cells,
                                              bool listing)
{
    const int row = static_cast<int>(parent->children.size());
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->key = key;
    node->cells = cells;
    node->listing = listing;
    node->parent = parent;
    node->row = row;
    Node* const added = node.get();

    if (!bulk_) beginInsertRows(indexOf(parent), row, row);
    parent->children.push_back(std::move(node));
    auto& index = keys(kind);
    const QString folded = fold(key);
    if (!index.contains(folded)) index.insert(folded, added);
    if (!bulk_) endInsertRows();
    return added;
}

void ResultsModel::beginBulkAppend()
{
    if (bulk_++ == 0) beginResetModel();
}

void ResultsModel::endBulkAppend()
{
    if (bulk_ > 0 && --bulk_ == 0) endResetModel();
}

void ResultsModel::unindex(const Node* node)
{
    auto& index = keys(node->kind);
    const auto it = index.find(fold(node->key));
    if (it != index.end() && it.value() == node) index.erase(it);
    for (const auto& child : node->children) unindex(child.get());
}

void ResultsModel::remove(Node* node)
{
    Node* const parent = node->parent;
    const int row = node->row;

    beginRemoveRows(indexOf(parent), row, row);
    unindex(node);
    // Destroyed only after the views have let go of the rows.
    std::unique_ptr<Node> removed = std::move(parent->children[static_cast<size_t>(row)]);
    parent->children.erase(parent->children.begin() + row);
    for (size_t i = static_cast<size_t>(row); i < parent->children.size(); ++i)
        parent->children[i]->row = static_cast<int>(i);
    endRemoveRows();
}

void ResultsModel::setCell(Node* node, int column, const GridCell& cell)
{
    GridCell& held = node->cells[static_cast<size_t>(column)];
    if (held == cell) return;
    held = cell;
    if (bulk_) return; // the reset at the end tells the views
    const QModelIndex changed = indexOf(node, column);
    emit dataChanged(changed, changed);
}

void ResultsModel::setCells(Node* node, const Cells& cells)
{
    int first = kColumns;
    int last = -1;
    for (int column = 0; column < kColumns; ++column) {
        const size_t c = static_cast<size_t>(column);
        if (node->cells[c] == cells[c]) continue;
        node->cells[c] = cells[c];
        first = std::min(first, column);
        last = column;
    }
    if (last < 0 || bulk_) return;
    emit dataChanged(indexOf(node, first), indexOf(node, last));
}

void ResultsModel::setListing(Node* node, bool listing)
{
    if (node->listing == listing) return;
    node->listing = listing;
    if (bulk_) return;
    emit dataChanged(indexOf(node, 0), indexOf(node, kColumns - 1), {Qt::DecorationRole, Qt::BackgroundRole});
}

QModelIndex ResultsModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= kColumns || row < 0) return QModelIndex();
    if (parent.isValid() && parent.column() != 0) return QModelIndex();
    const Node* p = parent.isValid() ? nodeOf(parent) : &root_;
    if (!p || row >= static_cast<int>(p->children.size())) return QModelIndex();
    return createIndex(row, column, p->children[static_cast<size_t>(row)].get());
}

QModelIndex ResultsModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    if (!node || node->parent == &root_) return QModelIndex();
    return indexOf(node->parent);
}

QModelIndex ResultsModel::sibling(int row, int column, const QModelIndex& index) const
{
    // Another cell of the same row, without the way through the parent
    // (copying a selection asks for every cell).
    if (row == index.row() && nodeOf(index))
        return column >= 0 && column < kColumns ? createIndex(row, column, index.internalPointer()) : QModelIndex();
    return QAbstractItemModel::sibling(row, column, index);
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0) return 0;
    const Node* p = parent.isValid() ? nodeOf(parent) : &root_;
    return p ? static_cast<int>(p->children.size()) : 0;
}

int ResultsModel::columnCount(const QModelIndex&) const
{
    return kColumns;
}

bool ResultsModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeOf(index);
    if (!node) return QVariant();
    const GridCell& cell = node->cells[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        // Only the status of an address or a server is the grid's own text;
        // the rest are targets, list names and the lists' answers.
        if (node->kind == Kind::Address && index.column() == kTargetColumn) return WindowText::Caption(cell.text);
        if (index.column() != kReasonColumn) return cell.text;
        return node->kind == Kind::Answer ? WindowText::AnswerReason(cell.text) : WindowText::Of(cell.text);
    case SourceTextRole: return cell.text;
    case Qt::ForegroundRole: return cell.color.isValid() ? QVariant(QBrush(cell.color)) : QVariant();
    case Qt::FontRole: {
        if (!cell.bold && !cell.underline && cell.pointSize <= 0) return QVariant();
        // A default QFont sets no attributes, so only the ones set here
        // override the view's font when the delegate resolves it.
        QFont font;
        if (cell.bold) font.setBold(true);
        if (cell.underline) font.setUnderline(true);
        if (cell.pointSize > 0) font.setPointSize(cell.pointSize);
        return font;
    }
    case Qt::BackgroundRole:
        if (tinted(*node)) return QBrush(ResultCells::ServerBackground());
        return QVariant();
    case Qt::DecorationRole:
        if (node->kind != Kind::Server || index.column() != kTargetColumn) return QVariant();
        return node->listing ? serverIcon_ : plainServerIcon_;
    case Qt::ToolTipRole: {
        // The grid's own notes: a list's own words in them stay as they are.
        QString tip = index.column() == kReasonColumn ? WindowText::Lines(cell.toolTip) : cell.toolTip;
        if (node->kind == Kind::Address && index.column() == kReasonColumn && addressToolTipLines_) {
            const QString more = addressToolTipLines_(node->key);
            if (!more.isEmpty()) tip = tip.isEmpty() ? more : tip + QLatin1Char('\n') + more;
        }
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case LinkRole: {
        // The same rule as print and export use for their links.
        const QString link = linkOf(index.column(), cell);
        return link.isEmpty() ? QVariant() : QVariant(link);
    }
    case KeyRole: return node->key;
    case KindRole: return static_cast<int>(node->kind);
    default: return QVariant();
    }
}

QString ResultsModel::linkOf(int column, const GridCell& cell)
{
    return column == kUrlColumn ? ResultCells::LinkFromText(cell.text) : QString();
}

void ResultsModel::snapshotRow(const QModelIndex& index, SnapshotRow& row) const
{
    const Node* node = nodeOf(index);
    if (!node) return;
    if (node->kind == Kind::Address) row.key = node->key;
    row.cells.reserve(node->cells.size());
    for (size_t column = 0; column < node->cells.size(); ++column) {
        const GridCell& cell = node->cells[column];
        SnapshotCell out;
        out.text = cell.text;
        out.color = cell.color;
        out.bold = cell.bold;
        out.underline = cell.underline;
        if (tinted(*node)) out.background = ResultCells::ServerBackground();
        out.link = linkOf(int(column), cell);
        row.cells.push_back(std::move(out));
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < headers_.size()) {
        if (role == Qt::DisplayRole) return WindowText::Of(headers_.at(section));
        if (role == SourceTextRole) return headers_.at(section);
    }
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    if (!node) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node->kind == Kind::Answer) flags |= Qt::ItemNeverHasChildren;
    return flags;
}

} // namespace quarlo
