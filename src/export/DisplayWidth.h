#pragma once

#include "export/TableSnapshot.h"

#include <QList>
#include <QStringView>

namespace quarlo {

// Columns a text takes in a monospaced terminal or editor: East Asian wide
// and fullwidth characters (CJK, kana, hangul, most emoji) take two,
// combining marks and invisible format characters (direction marks) none,
// everything else one. Reports align their columns by it.
int DisplayWidth(QStringView text);

// The columns of one character (a whole surrogate pair given as its code point).
int DisplayWidth(char32_t codePoint);

// The width every report gives each column, in characters: its longest text
// (with two per tree level in the first column), the header at least, at
// most cap, so one long TXT text does not push the rest off the page.
QList<int> ContentColumnWidths(const TableSnapshot& snapshot, int cap);

} // namespace quarlo
