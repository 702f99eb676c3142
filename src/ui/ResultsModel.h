#pragma once

#include "export/GridCell.h"
#include "export/ResultCells.h"
#include "export/TableSnapshot.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace quarlo {

class Address;
class RespondingServer;
class Settings;

// The results grid's data: a three-column tree with address rows at the
// top, the servers that listed the address (or refused the query) under
// them, their answers under those. It builds and updates its rows from the
// addresses themselves, with the texts and colours of ResultCells, so the
// window shows what print and export say.
//
// Every row has a text key ("address", "address:zone",
// "address:zone:answer"); a hash from key to row per kind keeps lookups
// O(1), so a scan of thousands of addresses touches only the rows that
// change.
class ResultsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int kColumns = ResultCells::kColumns;
    static constexpr int kTargetColumn = ResultCells::kTargetColumn;
    static constexpr int kReasonColumn = ResultCells::kReasonColumn;
    static constexpr int kUrlColumn = ResultCells::kUrlColumn;

    enum class Kind { Address, Server, Answer };

    enum Role {
        KeyRole = Qt::UserRole + 1, // QString
        KindRole,                   // int, a Kind
        // QString: the web address a click on the cell opens (URL column
        // only); no value when its text holds none.
        LinkRole,
        // QString: the cell's (or header's) text in English, as reports and
        // automation clients have it; Qt::DisplayRole is in the user's
        // language.
        SourceTextRole,
    };

    explicit ResultsModel(const Settings& settings, QObject* parent = nullptr);
    ~ResultsModel() override;

    // What an address row's status cell says of the address's verdict
    // ("Blacklisted by 2 servers", "Not listed", ...); automation offers
    // the same words.
    static QString StatusText(const Settings& settings, const Address& address);
    // An address's status text or tooltip as the grid shows it: in the
    // user's language where a translation has it, else as it is.
    static QString ShownText(const QString& text);

    // Empties the model with one reset.
    void clear();
    // Adds the rows of an address, or brings them up to the address's
    // state: its status, and rows for servers and answers that came in
    // since. Views hear only of what differs.
    void update(const Address& address);
    // Whether the address's row shows its current verdict. row: where it
    // probably is (the grid is in list order), which saves a search by key.
    bool showsVerdict(const Address& address, int row) const;
    // Removes the address row with that key and everything under it.
    void removeAddress(const QString& key);
    // Removes any row with that key and everything under it.
    void removeRow(const QString& key);

    // The row with that key (letter case ignored, as in the address list):
    // address rows first, then servers, then answers. Invalid when none has
    // it. Each kind of row has its own index, so an odd target is never
    // taken for another kind of row.
    QModelIndex indexOfKey(const QString& key, int column = 0) const;
    QModelIndex addressIndex(const QString& key) const;

    // Rows added between these reach the views as one reset instead of one
    // insertion each (filling an empty grid with a whole list).
    void beginBulkAppend();
    void endBulkAppend();
    bool inBulkAppend() const { return bulk_ > 0; }

    // More lines for an address row's status tooltip, asked for only when
    // the tooltip is (the window adds what the scan history says).
    using ToolTipLines = std::function<QString(const QString& key)>;
    void setAddressToolTipLines(ToolTipLines lines) { addressToolTipLines_ = std::move(lines); }

    // One row's cells as reports take them (source texts, colours, fonts,
    // links), read in one pass instead of a data() call per role; the key
    // of an address row too. A report of a large list reads every row.
    void snapshotRow(const QModelIndex& index, SnapshotRow& row) const;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    using Cells = ResultCells::Row;

    struct Node {
        Kind kind = Kind::Address;
        QString key;
        Cells cells;
        // A server row of a server that lists the address: the skull and the
        // tinted background. A server that only refused the query gets
        // neither.
        bool listing = true;
        int shownVerdict = -1; // address rows: the verdict the row was last drawn for
        Node* parent = nullptr;
        int row = 0;
        std::vector<std::unique_ptr<Node>> children;
    };

    static QString fold(const QString& key) { return key.toCaseFolded(); }
    Node* find(const QString& key, Kind kind) const;
    Node* find(const QString& key) const;
    Node* nodeOf(const QModelIndex& index) const;
    static bool tinted(const Node& node) { return node.kind == Kind::Server && node.listing; }
    static QString linkOf(int column, const GridCell& cell);
    QModelIndex indexOf(const Node* node, int column = 0) const;
    // Appends a row under parent, its cells filled before views hear of it.
    // A key already held is not indexed again: the first row keeps it.
    Node* appendChild(Node* parent, Kind kind, const QString& key, const Cells& cells, bool listing = true);
    void remove(Node* node);
    void unindex(const Node* node);
    // Changes one cell; views hear of it only when something differs.
    void setCell(Node* node, int column, const GridCell& cell);
    // Changes a whole row with one notification spanning the changed cells,
    // which saves a view a search for the row per cell.
    void setCells(Node* node, const Cells& cells);
    void setListing(Node* node, bool listing);
    void updateServer(Node* addressRow, const QString& key, const RespondingServer& server);

    QHash<QString, Node*>& keys(Kind kind) { return byKey_[static_cast<size_t>(kind)]; }
    const QHash<QString, Node*>& keys(Kind kind) const { return byKey_[static_cast<size_t>(kind)]; }

    ResultCells cells_;
    const QStringList headers_;
    Node root_;
    std::array<QHash<QString, Node*>, 3> byKey_;
    int bulk_ = 0;
    QIcon serverIcon_;
    // For the row of a server that lists nothing: a blank of the skull's
    // size keeps its name in line with the others.
    QIcon plainServerIcon_;
    ToolTipLines addressToolTipLines_;
};

} // namespace quarlo
