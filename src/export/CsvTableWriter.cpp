#include "export/CsvTableWriter.h"

#include "common/FormulaGuard.h"

#include "common/BidiControls.h"

#include <algorithm>

namespace quarlo {

namespace {

// Controls a spreadsheet or terminal would act on; direction controls would
// make a cell read differently from what it holds.
bool isDroppedControl(char16_t u)
{
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7f && u <= 0x9f) || IsBidiControl(u);
}

void appendField(QString& out, QStringView raw)
{
    QString cleaned;
    QStringView text = raw;
    if (std::any_of(raw.begin(), raw.end(), [](QChar c) { return isDroppedControl(c.unicode()); })) {
        cleaned.reserve(raw.size());
        for (QChar c : raw)
            if (!isDroppedControl(c.unicode())) cleaned += c;
        text = cleaned;
    }

    const bool guard = NeedsFormulaGuard(text);
    const bool quote = !text.isEmpty()
        && (text.front() == u' ' || text.back() == u' ' || text.front() == u'\t' || text.back() == u'\t'
            || std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; }));
    if (quote) out += u'"';
    if (guard) out += u'\'';
    if (quote) {
        qsizetype run = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != u'"') continue;
            out.append(text.mid(run, i + 1 - run));
            out += u'"';
            run = i + 1;
        }
        out.append(text.mid(run));
        out += u'"';
    } else {
        out.append(text);
    }
}

} // namespace

QByteArray CsvTableWriter::Write(const TableSnapshot& snapshot)
{
    qsizetype cols = snapshot.headers.size();
    qsizetype textSize = 0;
    for (const SnapshotRow& row : snapshot.rows) {
        cols = std::max<qsizetype>(cols, qsizetype(row.cells.size()));
        for (const SnapshotCell& c : row.cells) textSize += c.text.size();
    }

    QString out;
    out.reserve(256 + textSize + qsizetype(snapshot.rows.size()) * (cols + 4));
    out += QChar(0xFEFF);
    out += u"Level";
    for (qsizetype c = 0; c < cols; ++c) {
        out += u',';
        if (c < snapshot.headers.size()) appendField(out, snapshot.headers[c]);
    }
    out += u"\r\n";

    for (const SnapshotRow& row : snapshot.rows) {
        out += QString::number(row.level);
        for (qsizetype c = 0; c < cols; ++c) {
            out += u',';
            if (c >= qsizetype(row.cells.size())) continue;
            QStringView text(row.cells[size_t(c)].text);
            if (c == 0) // the grid's indentation; the level field says it
                while (!text.isEmpty() && text.front() == u' ') text = text.mid(1);
            appendField(out, text);
        }
        out += u"\r\n";
    }
    return out.toUtf8();
}

} // namespace quarlo
