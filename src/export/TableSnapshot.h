#pragma once

#include <QColor>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace quarlo {

// One cell as the results grid draws it.
struct SnapshotCell {
    QString text;
    QColor color;      // invalid: the default text colour
    QColor background; // invalid: none
    bool bold = false;
    bool underline = false;
    QString link; // the web address the cell opens, or empty
};

// One grid row. Rows come depth-first in grid order, so a row's children
// follow it directly with a level one higher.
struct SnapshotRow {
    int level = 0; // 0 address, 1 responding server, 2 answer
    bool hasChildren = false;
    bool expanded = true;            // whether the grid shows its children
    bool shown = true;               // every ancestor expanded: visible in the grid
    QString key;                     // address rows: the list entry's key
    std::vector<SnapshotCell> cells; // one per column
};

// The results grid as the user sees it, taken once; every format renders
// the same snapshot.
struct TableSnapshot {
    QStringList headers;
    // The window's widths in pixels, as a printout of the screen would take
    // them; reports size their columns by content instead (ContentColumnWidths).
    QList<int> columnWidths;
    std::vector<SnapshotRow> rows;
};

using TableSnapshotPtr = std::shared_ptr<const TableSnapshot>;

} // namespace quarlo

Q_DECLARE_METATYPE(quarlo::TableSnapshotPtr)
