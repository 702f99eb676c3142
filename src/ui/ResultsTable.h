#pragma once

#include "export/ResultCells.h"
#include "export/TableSnapshot.h"
#include "model/Address.h"
#include "ui/ResultsModel.h"

#include <QColor>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QTreeView>
#include <deque>
#include <vector>

namespace quarlo {

class Addresslist;
class ResultsRowDelegate;
class Settings;

// The results grid of the main window: one row per address, under it one
// row per blacklist server that listed it (or refused the query), under
// each server one row per answer. Rows carry text keys ("address", "address:zone",
// "address:zone:answer") by which the window finds them.
//
// Updates touch only the rows of the address in question, so a running scan
// of thousands of addresses never makes the view rebuild or reset.
class ResultsTable : public QTreeView {
    Q_OBJECT
public:
    static constexpr int kTargetColumn = 0;
    static constexpr int kReasonColumn = 1;
    static constexpr int kUrlColumn = 2;

    explicit ResultsTable(Addresslist& list, QWidget* parent = nullptr);
    ~ResultsTable() override;

    // Empties the grid and sets up its headers, column widths and heights.
    void GridReset();
    // Brings every address of the list into the grid, in list order. A
    // long list fills an empty grid a slice at a time (see Drawing), so
    // the window keeps answering.
    void RefreshData();
    // Rows still to be drawn a slice at a time.
    bool Drawing() const { return !queue_.empty(); }
    // Adds or refreshes the rows of one address.
    void UpdateRow(const AddressPtr& address);
    // Refreshes many addresses with one relayout of the view instead of one
    // per expanded row (each costs a walk over every row shown).
    void UpdateRows(const std::vector<AddressPtr>& addresses);
    // Redraws the addresses whose verdict differs from the one their row
    // shows (a scan ends some without a change of its own to report).
    void RefreshVerdicts();
    // How long the view's last full layout took, in milliseconds.
    qint64 LastLayoutMs() const { return lastLayoutMs_; }
    // Addresses at most drawn at once; more go a slice at a time.
    static constexpr size_t kDrawAtOnce = 4096;
    // Removes the address row with that key and everything under it.
    void RemoveAddress(const QString& key);
    // Removes any row with that key and everything under it, from the grid
    // only.
    void RemoveRow(const QString& key);

    int AddressRowCount() const;
    // The keys of every row shown from the first to the last selected one.
    QStringList SelectedKeys() const;
    // The same rows, limited to the selected columns: cells separated by
    // tabs, rows by CR LF. When the whole grid is selected the header texts
    // come first, as a line of their own.
    QString SelectionText() const;
    // Selects every cell and makes the first cell of the first row current.
    void SelectAll();
    QString KeyAt(const QModelIndex& index) const;
    // An invalid index when no row has the key.
    QModelIndex IndexOfKey(const QString& key, int column = 0) const;

    // What a cell shows; the key names the row. Defaults (empty text, an
    // invalid colour, false) when no row has the key.
    QString CellText(const QString& key, int column) const;
    QColor CellColor(const QString& key, int column) const;
    bool CellBold(const QString& key, int column) const;
    bool CellUnderline(const QString& key, int column) const;
    QString CellToolTip(const QString& key, int column) const;
    // Whether the view shows the row's children.
    bool IsExpanded(const QString& key) const;

    // The grid as it stands, for printing and export: every row with its
    // texts, colours, links, and whether the user sees it.
    TableSnapshot Snapshot() const;

    ResultsModel& resultsModel() const { return *model_; }

    // The web address a cell's text points to, or an empty string: from
    // "http://" or "https://" (any letter case) up to the first blank, line
    // breaks removed.
    static QString LinkFromText(const QString& text);

    void selectAll() override;
    void doItemsLayout() override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

signals:
    // A click on a web address in the URL column.
    void LinkClicked(const QString& url);

protected:
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    int sizeHintForColumn(int column) const override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    using Node = ResultsModel::Node;
    using Kind = ResultsModel::Kind;

    struct Span {
        int first = -1, last = -1, left = 0, right = -1;
    };

    void updateServer(Node* addressRow, const QString& key, const RespondingServer& server);
    bool mustCollapse(const Node* parent, int threshold) const;
    void applyExpansion(Node* parent, bool collapse);
    bool viewExpanded(const Node* node) const;
    std::vector<const Node*> shownRows() const;
    Span selectionSpan(const std::vector<const Node*>& rows) const;
    bool selectionInOneRowOrColumn() const;
    // Whether every row above it is expanded (it may still be scrolled away).
    bool rowVisible(const Node* node) const;
    bool rowsShown(const QModelIndex& topLeft, const QModelIndex& bottomRight) const;
    // Widens the URL column to the right edge of the view, never narrower
    // than its set width.
    void fitLastColumn();
    void onClicked(const QModelIndex& index);
    void onExpansionChanged(const QModelIndex& index, bool expanded);
    // From here until control returns to the event loop, the view only
    // notes inserted and expanded rows; it lays itself out once after.
    void deferLayout();
    // Draws the rows of queued addresses for a short while, then lets the
    // event loop run before the next slice.
    void drawQueued();
    void queueRows(const std::vector<AddressPtr>& addresses);

    Addresslist& list_;
    Settings& settings_;
    ResultCells cells_;
    ResultsModel* model_;
    ResultsRowDelegate* delegate_;
    bool layoutPending_ = true;
    qint64 lastLayoutMs_ = 0;
    // Held, not weak: a queued address's memory is never reused for another
    // while it is known as unplaced.
    std::deque<AddressPtr> queue_;
    QSet<const Address*> unplaced_; // queued, and no row yet: placed in list order by the queue
    QTimer queueTimer_;
    int urlColumnWidth_ = 0;
    bool fitting_ = false;
};

} // namespace quarlo
