#pragma once

#include "export/ExportLayout.h"
#include "export/TableSnapshot.h"

#include <QString>

namespace quarlo {

// Writes the results grid as a spreadsheet workbook with one worksheet.
//
// The sheet holds EVERY snapshot row, not only the shown ones: the tree
// becomes outline groups (summary rows above their children), rows under a
// collapsed parent are hidden and the parent is marked collapsed, so the
// spreadsheet folds the way the grid did and the user can unfold the rest.
// Optional title rows come first, then the bold header row, frozen so it
// stays in view while scrolling, with an autofilter.
//
// Cells keep the grid's colours, bold and underline; the first column is
// indented by level; a cell that holds a web address alone (http/https)
// becomes a hyperlink up to the spreadsheet's limits (65,530 per sheet,
// 2,079 characters), beyond them plain text. A text whose first non-blank
// character would start a formula gets the apostrophe CSV gets
// (FormulaGuarded). Texts longer than a cell can hold (32,767 characters)
// are cut and end with "…"; control characters, which the file's XML
// cannot hold, are dropped. Column widths are in characters, from the
// texts (ContentColumnWidths); longer texts wrap.
//
// Formats are shared per style, so a large grid creates a handful of them
// rather than one per cell, and rows are streamed to disk as they are
// written to keep memory flat.
class XlsxTableWriter {
public:
    // Writes the workbook to fileName. The library writes by name only, so
    // the caller passes a temporary name in the target folder and renames it
    // on success. On failure Write returns false with *error (if given)
    // explaining why, and may leave a partial file at fileName that the
    // caller must delete.
    static bool Write(const TableSnapshot& snapshot, const ExportLayout& layout, const QString& fileName,
                      QString* error);
};

} // namespace quarlo
