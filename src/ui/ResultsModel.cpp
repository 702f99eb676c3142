#include "ui/ResultsModel.h"

#include <QBrush>
#include <QFont>
#include <algorithm>

namespace quarlo {

ResultsModel::ResultsModel(QObject* parent) : QAbstractItemModel(parent)
{
    root_.expanded = true;
}

ResultsModel::~ResultsModel() = default;

void ResultsModel::clear()
{
    beginResetModel();
    root_.children.clear();
    for (auto& index : byKey_) index.clear();
    endResetModel();
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
    if (!parent) parent = &root_;
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
    if (!node || node == &root_ || !node->parent) return;
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

void ResultsModel::setCell(Node* node, int column, const Cell& cell)
{
    if (!node || column < 0 || column >= kColumns) return;
    Cell& held = node->cells[static_cast<size_t>(column)];
    if (held == cell) return;
    held = cell;
    if (bulk_) return; // the reset at the end tells the views
    const QModelIndex changed = indexOf(node, column);
    emit dataChanged(changed, changed);
}

void ResultsModel::setCells(Node* node, const Cells& cells)
{
    if (!node) return;
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
    if (!node || node->listing == listing) return;
    node->listing = listing;
    if (bulk_) return;
    emit dataChanged(indexOf(node, 0), indexOf(node, kColumns - 1), {Qt::DecorationRole, Qt::BackgroundRole});
}

void ResultsModel::setHeaders(const QStringList& headers)
{
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

QModelIndex ResultsModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= kColumns || row < 0) return QModelIndex();
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
    const Cell& cell = node->cells[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return cell.text;
    case Qt::ForegroundRole:
        return cell.color.isValid() ? QVariant(QBrush(cell.color)) : QVariant();
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
        if (node->kind == Kind::Server && node->listing && serverBackground_.isValid())
            return QBrush(serverBackground_);
        return QVariant();
    case Qt::DecorationRole:
        if (node->kind != Kind::Server || index.column() != 0) return QVariant();
        if (node->listing) return serverIcon_.isNull() ? QVariant() : QVariant(serverIcon_);
        return plainServerIcon_.isNull() ? QVariant() : QVariant(plainServerIcon_);
    case Qt::ToolTipRole: {
        QString tip = cell.toolTip;
        // Column 1 is the status of an address row.
        if (node->kind == Kind::Address && index.column() == 1 && addressToolTipLines_) {
            const QString more = addressToolTipLines_(node->key);
            if (!more.isEmpty()) tip = tip.isEmpty() ? more : tip + QLatin1Char('\n') + more;
        }
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case KeyRole:
        return node->key;
    case KindRole:
        return static_cast<int>(node->kind);
    default:
        return QVariant();
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_.at(section);
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
