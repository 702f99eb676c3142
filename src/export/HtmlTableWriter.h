#pragma once

#include "export/ExportLayout.h"
#include "export/TableSnapshot.h"

#include <QByteArray>

namespace quarlo {

// Renders a grid snapshot as a web page, either as one self-contained HTML5
// file or as the same page wrapped in a single-file MIME web archive.
//
// Rendering rules: the page holds every row of the snapshot, collapsed or
// not (a page has no expand buttons, so hiding rows would lose results);
// the tree shows as per-level indentation of the first column. Column
// proportions follow the longest texts (ContentColumnWidths). Cell colours,
// background, bold and underline are kept (the underline leaves the
// indenting blanks out); a cell's link becomes a hyperlink around the web
// address alone, only for http and https addresses, because they come from
// zone answers that anyone on the internet can write. All text is escaped, control
// characters other than tab and line breaks are dropped, and line breaks
// inside a cell become <br>. The page loads nothing and runs nothing.
class HtmlTableWriter {
public:
    // The page as UTF-8 bytes, LF line ends.
    static QByteArray Html(const TableSnapshot& snapshot, const ExportLayout& layout);

    // The page as a multipart/related message with one quoted-printable
    // text/html part; CRLF line ends, no line longer than 78 characters.
    static QByteArray Mhtml(const TableSnapshot& snapshot, const ExportLayout& layout);
};

} // namespace quarlo
