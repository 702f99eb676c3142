#pragma once

#include "export/ExportLayout.h"
#include "export/TableSnapshot.h"

#include <QByteArray>

namespace quarlo {

// Renders a grid snapshot as aligned plain text: UTF-8 without BOM, LF line
// ends, no trailing blanks.
//
// Rendering rules: like print and preview, the text holds only the rows
// the grid shows (row.shown), so it reads like the screen; the tree shows
// as two spaces of indentation per level in the first column. Title,
// subtitle and paragraph come first, then a header line and a rule, then
// the rows, then footer and program line. Columns are padded to their
// widest text, measured in display columns (DisplayWidth: a CJK character
// takes two); a column's alignment width is
// capped so one long TXT text does not push every row off the screen, and
// a longer text is never cut, it just pushes the rest of its own line.
// Line breaks inside a cell become " / ", tabs become spaces and other
// control characters are dropped, so each row stays one line.
class TextTableWriter {
public:
    // Alignment width cap of one column, in characters.
    static constexpr int MaxColumnWidth = 60;

    static QByteArray Write(const TableSnapshot& snapshot, const ExportLayout& layout);
};

} // namespace quarlo
