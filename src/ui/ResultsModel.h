#pragma once

#include "export/GridCell.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace quarlo {

// The three-column tree behind the results grid: address rows at the top,
// responding servers under them, their answers under those. Every row has a
// text key, and a hash from key to node keeps lookups O(1) so a scan of
// thousands of addresses touches only the rows that change.
class ResultsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 3;

    enum class Kind { Address, Server, Answer };

    enum Role {
        KeyRole = Qt::UserRole + 1,
        KindRole,
    };

    // What one cell shows. An invalid colour means the view's own.
    using Cell = GridCell;

    struct Node {
        Kind kind = Kind::Address;
        QString key;
        std::array<Cell, kColumns> cells;
        // Kept by the table: the state the node should have in the view,
        // which Qt cannot hold for a node without children.
        bool expanded = true;
        // A server row of a server that lists the address: the skull and the
        // tinted background. A server that only refused the query gets
        // neither.
        bool listing = true;
        int shownVerdict = -1; // address rows: the verdict the row was last drawn for
        Node* parent = nullptr;
        int row = 0;
        std::vector<std::unique_ptr<Node>> children;
    };

    explicit ResultsModel(QObject* parent = nullptr);
    ~ResultsModel() override;

    // Empties the model with one reset.
    void clear();

    Node* root() { return &root_; }
    const Node* root() const { return &root_; }
    // The row with that key (letter case ignored, as in the address list),
    // or null. Each kind of row has its own index, so an odd target can
    // never be taken for another kind of row.
    Node* find(const QString& key, Kind kind) const;
    // Any kind: address rows first, then servers, then answers.
    Node* find(const QString& key) const;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node, int column = 0) const;

    using Cells = std::array<Cell, kColumns>;

    // Appends a row under parent (the root for an address row), its cells
    // filled before views hear of it. A key already held is not indexed
    // again: the first row keeps it.
    Node* appendChild(Node* parent, Kind kind, const QString& key, const Cells& cells, bool listing = true);
    // Removes the row and everything under it.
    void remove(Node* node);
    // Rows appended between these reach the views as one reset instead of
    // one insertion each (filling an empty grid with a whole list).
    void beginBulkAppend();
    void endBulkAppend();
    bool inBulkAppend() const { return bulk_ > 0; }
    // Changes one cell; views hear of it only when something differs.
    void setCell(Node* node, int column, const Cell& cell);
    // Changes a whole row with one notification spanning the changed cells,
    // which saves the view a search for the row per cell.
    void setCells(Node* node, const Cells& cells);
    // Changes whether a server row is drawn as a listing.
    void setListing(Node* node, bool listing);

    void setHeaders(const QStringList& headers);
    void setServerIcon(const QIcon& icon) { serverIcon_ = icon; }
    // For the row of a server that lists nothing; a blank of the skull's size
    // keeps its name in line with the others.
    void setPlainServerIcon(const QIcon& icon) { plainServerIcon_ = icon; }
    void setServerBackground(const QColor& colour) { serverBackground_ = colour; }
    // More lines for an address row's status tooltip, asked for only when
    // the tooltip is (the window adds what the scan history says).
    using ToolTipLines = std::function<QString(const QString& key)>;
    void setAddressToolTipLines(ToolTipLines lines) { addressToolTipLines_ = std::move(lines); }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static QString fold(const QString& key) { return key.toCaseFolded(); }
    void unindex(const Node* node);

    Node root_;
    QHash<QString, Node*>& keys(Kind kind) { return byKey_[static_cast<size_t>(kind)]; }
    const QHash<QString, Node*>& keys(Kind kind) const { return byKey_[static_cast<size_t>(kind)]; }

    std::array<QHash<QString, Node*>, 3> byKey_;
    int bulk_ = 0;
    QStringList headers_;
    QIcon serverIcon_;
    QIcon plainServerIcon_;
    QColor serverBackground_;
    ToolTipLines addressToolTipLines_;
};

} // namespace quarlo
