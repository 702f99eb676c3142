#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <algorithm>

namespace quarlo {

// TXT texts, reasons and server names come from zones anyone can publish.
// Opened in a spreadsheet, a CSV field whose first non-blank character is
// =, +, -, @, a tab or a carriage return runs as a formula (remote lookups,
// DDE commands); a leading apostrophe makes the spreadsheet take it as
// text. Plain signed numbers ("-1", "+3.5") cannot carry a formula and keep
// their form so they stay numbers. Every CSV writer asks here.
inline bool NeedsFormulaGuard(QStringView text)
{
    qsizetype at = 0;
    while (at < text.size() && text[at] == u' ') ++at;
    if (at == text.size()) return false;
    const QChar first = text[at];
    if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r') return true;
    if (first != u'+' && first != u'-') return false;
    return !std::all_of(text.begin() + at + 1, text.end(),
                        [](QChar c) { return (c >= u'0' && c <= u'9') || c == u'.' || c == u',' || c == u':'; });
}

// The text with the apostrophe in front when it needs one.
inline QString FormulaGuarded(const QString& text)
{
    return NeedsFormulaGuard(text) ? QLatin1Char('\'') + text : text;
}

} // namespace quarlo
