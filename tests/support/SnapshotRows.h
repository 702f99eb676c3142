#pragma once

#include "export/TableSnapshot.h"

#include <QStringList>

#include <vector>

// Grid rows for the export tests, built in one expression.

inline quarlo::SnapshotCell snapshotCell(const QString& text)
{
    quarlo::SnapshotCell cell;
    cell.text = text;
    return cell;
}

inline quarlo::SnapshotRow snapshotRow(int level, std::vector<quarlo::SnapshotCell> cells, bool shown = true,
                                       bool hasChildren = false, bool expanded = true)
{
    quarlo::SnapshotRow row;
    row.level = level;
    row.cells = std::move(cells);
    row.shown = shown;
    row.hasChildren = hasChildren;
    row.expanded = expanded;
    return row;
}

// A row of plain texts.
inline quarlo::SnapshotRow textRow(int level, const QStringList& texts, bool shown = true, bool hasChildren = false)
{
    std::vector<quarlo::SnapshotCell> cells;
    for (const QString& text : texts) cells.push_back(snapshotCell(text));
    return snapshotRow(level, std::move(cells), shown, hasChildren);
}
