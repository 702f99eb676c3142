#pragma once

#include "export/ExportLayout.h"
#include "export/TableSnapshot.h"

#include <QString>

class QIODevice;
class QPagedPaintDevice;

namespace quarlo {

// Paints the results grid onto pages: PDF files, printers and the print
// preview all go through Paint, so they look alike.
//
// Only the rows shown in the grid (row.shown) are painted; collapsed
// branches stay out, as on screen. Page 1 starts with the title (bold,
// larger), subtitle and paragraph; every page repeats the shaded header row
// at its top and carries the footer text on the left and "Page N of M" on
// the right at its bottom, with the program name and version in small print
// below. Column widths come from the texts (what each needs on one line),
// within the printable width: the targets first, then the other columns by
// what they need; never from the window's widths. The first column is
// indented by level. Cells keep the grid's colours, bold and underline; a
// web address (http/https) in a cell is drawn in the link colour and
// becomes a link annotation in a PDF. Long texts wrap within their column
// and a row is as tall as its tallest cell; a row taller than what is left
// of a page continues on the next, line by line, so no text is lost.
//
// Sizes are in points and converted with the device's resolution, so the
// same code serves a 1200 dpi PDF writer and a screen-resolution preview.
class TablePainter {
public:
    // Sets the page orientation from layout (before painting starts) and
    // paints; returns the number of pages, or 0 with *error (if given) when
    // the device cannot be painted on or its page is too small.
    static int Paint(const TableSnapshot& snapshot, const ExportLayout& layout, QPagedPaintDevice& device,
                     QString* error);

    // Writes an A4 PDF of the table to out (opened for writing if it is
    // not open yet). False with *error on failure.
    static bool WritePdf(const TableSnapshot& snapshot, const ExportLayout& layout, QIODevice& out, QString* error);
};

} // namespace quarlo
