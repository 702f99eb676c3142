#pragma once

#include "export/TableSnapshot.h"
#include "model/Address.h"
#include "ui/ResultsModel.h"

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

// The results grid of the main window, a view of a ResultsModel: one row
// per address, under it one row per blacklist server that listed it (or
// refused the query), under each server one row per answer. The view
// decides what is expanded, fills a long list a slice at a time, selects
// and copies, and opens the links clicked.
//
// Updates touch only the rows of the address in question, so a running scan
// of thousands of addresses never makes the view rebuild or reset.
class ResultsTable : public QTreeView {
    Q_OBJECT
public:
    static constexpr int kTargetColumn = ResultsModel::kTargetColumn;
    static constexpr int kReasonColumn = ResultsModel::kReasonColumn;
    static constexpr int kUrlColumn = ResultsModel::kUrlColumn;

    explicit ResultsTable(Addresslist& list, QWidget* parent = nullptr);
    ~ResultsTable() override;

    // Empties the grid and sets up its column widths and heights.
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

    int AddressRowCount() const;
    // The keys of every row shown from the first to the last selected one.
    QStringList SelectedKeys() const;
    // The same rows, limited to the selected columns: cells separated by
    // tabs, rows by CR LF. When the whole grid is selected the header texts
    // come first, as a line of their own.
    QString SelectionText() const;
    // Selects every cell and makes the first cell of the first row current.
    void SelectAll();

    // The grid as it stands, for printing and export: every row with its
    // texts, colours, links, and whether the user sees it.
    TableSnapshot Snapshot() const;

    ResultsModel& resultsModel() const { return *model_; }

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
    struct Span {
        int first = -1, last = -1, left = 0, right = -1;
    };

    // A new row decides whether its parent shows it: by the expansion level
    // for a parent's first row, by the parent as it stands for the rest.
    void onRowsInserted(const QModelIndex& parent, int first);
    void onRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last);
    // Expands or collapses every row of a grid filled in one go.
    void applyLevels();
    // Whether the row is expanded, or would be once it has rows under it.
    bool shownExpanded(const QModelIndex& index) const;
    std::vector<QModelIndex> shownRows() const;
    Span selectionSpan(const std::vector<QModelIndex>& rows) const;
    bool selectionInOneRowOrColumn() const;
    // Whether every row above it is expanded (it may still be scrolled away).
    bool rowVisible(const QModelIndex& index) const;
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
    ResultsModel* model_;
    ResultsRowDelegate* delegate_;
    bool layoutPending_ = true;
    qint64 lastLayoutMs_ = 0;
    // Rows that open collapsed when rows come under them: Qt keeps no
    // expansion for a row without children, and the user's choice must
    // outlive the last of them. Keyed by the model's row identity.
    QSet<const void*> closed_;
    // Held, not weak: a queued address's memory is never reused for another
    // while it is known as unplaced.
    std::deque<AddressPtr> queue_;
    QSet<const Address*> unplaced_; // queued, and no row yet: placed in list order by the queue
    QTimer queueTimer_;
    int urlColumnWidth_ = 0;
    bool fitting_ = false;
};

} // namespace quarlo
