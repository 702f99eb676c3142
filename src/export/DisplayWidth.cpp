#include "export/DisplayWidth.h"

#include <QChar>

#include <algorithm>
#include <iterator>

namespace quarlo {

namespace {

struct Range {
    char32_t first, last;
};

// The wide (W) and fullwidth (F) ranges of the Unicode East Asian Width
// property, merged where the gaps are unassigned.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x16FF0, 0x16FF1}, {0x17000, 0x18CD5}, {0x18D00, 0x18D08},
    {0x1AFF0, 0x1B2FB}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F202}, {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440},
    {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A},
    {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC},
    {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC},
    {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF},
    {0x1FA70, 0x1FA7C}, {0x1FA80, 0x1FA89}, {0x1FA8F, 0x1FAC6}, {0x1FACE, 0x1FADC}, {0x1FADF, 0x1FAE9},
    {0x1FAF0, 0x1FAF8}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool IsWide(char32_t c)
{
    const auto* it = std::upper_bound(std::begin(kWide), std::end(kWide), c,
                                      [](char32_t value, const Range& range) { return value < range.first; });
    return it != std::begin(kWide) && c <= std::prev(it)->last;
}

} // namespace

int DisplayWidth(char32_t c)
{
    if (c < 0x300) return c < 0x20 || (c >= 0x7f && c < 0xa0) ? 0 : 1; // the common case, no table lookup
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: return 0;
    default: break;
    }
    // Conjoining hangul vowels and finals join the syllable before them.
    if (c >= 0x1160 && c <= 0x11FF) return 0;
    return IsWide(c) ? 2 : 1;
}

int DisplayWidth(QStringView text)
{
    int width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x300) {
            width += u >= 0x20 && !(u >= 0x7f && u < 0xa0) ? 1 : 0;
            continue;
        }
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode()))
            c = QChar::surrogateToUcs4(u, text[++i].unicode());
        width += DisplayWidth(c);
    }
    return width;
}

QList<int> ContentColumnWidths(const TableSnapshot& snapshot, int cap)
{
    qsizetype columns = snapshot.headers.size();
    for (const SnapshotRow& row : snapshot.rows) columns = std::max<qsizetype>(columns, qsizetype(row.cells.size()));
    QList<int> widths(columns, 1);
    for (qsizetype c = 0; c < columns && c < snapshot.headers.size(); ++c)
        widths[c] = std::clamp(DisplayWidth(snapshot.headers[c]), 1, cap);
    for (const SnapshotRow& row : snapshot.rows) {
        for (size_t c = 0; c < row.cells.size(); ++c) {
            int& width = widths[qsizetype(c)];
            if (width >= cap) continue;
            const QString& text = row.cells[c].text;
            const int indent = c == 0 ? 2 * std::clamp(row.level, 0, 8) : 0;
            // No character takes more than two columns: a short text cannot widen the column.
            if (2 * text.size() + indent <= width) continue;
            // A text longer than the cap in characters is wider too: no need to measure it.
            const int measured = text.size() > 4 * cap ? cap : DisplayWidth(text);
            width = std::min(cap, std::max(width, measured + indent));
        }
    }
    return widths;
}

} // namespace quarlo
