#pragma once

#include "export/TableSnapshot.h"

#include <QByteArray>

namespace quarlo {

// Renders a grid snapshot as comma-separated values (RFC 4180): UTF-8 with
// a byte order mark so spreadsheet programs do not guess a code page, CRLF
// record ends.
//
// Rendering rules: every row of the snapshot, collapsed or not; the first
// field of each record is the row's tree level (0 address, 1 responding
// server, 2 answer), so the tree can be rebuilt from the file. The header
// record is "Level" and the column headers. The first column loses the
// grid's indentation blanks. Fields are quoted when they hold a comma,
// quote, line break or leading/trailing blank; control characters other
// than tab and line breaks are dropped. Texts that a spreadsheet would run
// as a formula get a leading apostrophe (see CsvTableWriter.cpp).
class CsvTableWriter {
public:
    static QByteArray Write(const TableSnapshot& snapshot);
};

} // namespace quarlo
