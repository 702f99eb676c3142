#include "export/TextTableWriter.h"

#include "export/DisplayWidth.h"

#include <algorithm>
#include <numeric>

namespace quarlo {

namespace {

constexpr QStringView ColumnGap = u"  ";

// One line per cell: line breaks become " / ", tabs a space, other control
// characters go.
QString flattened(QStringView text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'\r' || u == u'\n') {
            if (u == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
            out += u" / ";
        } else if (u == u'\t') {
            out += u' ';
        } else if (u >= 0x20 && !(u >= 0x7f && u <= 0x9f)) {
            out += QChar(u);
        }
    }
    return out;
}

// The furniture lines of one layout text, flattened except for its line
// breaks; nothing for an empty text.
QStringList furnitureLines(const QString& text)
{
    QStringList lines;
    if (text.trimmed().isEmpty()) return lines;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    for (const QString& line : normalised.split(u'\n')) lines << flattened(line);
    return lines;
}

void appendLine(QString& out, QString& line)
{
    qsizetype end = line.size();
    while (end > 0 && line[end - 1] == u' ') --end;
    out.append(QStringView(line).left(end));
    out += u'\n';
    line.clear();
}

} // namespace

QByteArray TextTableWriter::Write(const TableSnapshot& snapshot, const ExportLayout& layout)
{
    qsizetype cols = snapshot.headers.size();
    qsizetype shownRows = 0;
    for (const SnapshotRow& row : snapshot.rows) {
        if (!row.shown) continue;
        ++shownRows;
        cols = std::max<qsizetype>(cols, qsizetype(row.cells.size()));
    }

    // Every shown cell flattened once; the first column carries the tree
    // indentation in place of the grid's own leading blanks.
    std::vector<QString> cells(size_t(shownRows * cols));
    std::vector<int> cellWidths(size_t(shownRows * cols), 0); // each cell's display width, measured once
    std::vector<int> widths(size_t(cols), 0);
    qsizetype textSize = 0;
    auto measure = [&](qsizetype col, const QString& text) {
        const int width = DisplayWidth(text);
        widths[size_t(col)] = std::max(widths[size_t(col)], std::min(width, int(MaxColumnWidth)));
        textSize += text.size();
        return width;
    };
    std::vector<QString> headers(static_cast<size_t>(cols));
    std::vector<int> headerWidths(static_cast<size_t>(cols), 0);
    for (qsizetype c = 0; c < cols; ++c) {
        if (c < snapshot.headers.size()) headers[size_t(c)] = flattened(snapshot.headers[c]);
        headerWidths[size_t(c)] = measure(c, headers[size_t(c)]);
    }
    size_t at = 0;
    for (const SnapshotRow& row : snapshot.rows) {
        if (!row.shown) continue;
        for (qsizetype c = 0; c < cols; ++c, ++at) {
            QString& text = cells[at];
            if (c < qsizetype(row.cells.size())) {
                QStringView raw(row.cells[size_t(c)].text);
                if (c == 0) {
                    while (!raw.isEmpty() && raw.front() == u' ') raw = raw.mid(1);
                    text = QString(2 * std::clamp(row.level, 0, 50), u' ') + flattened(raw);
                } else {
                    text = flattened(raw);
                }
            }
            cellWidths[at] = measure(c, text);
        }
    }

    QString out;
    out.reserve(1024 + textSize + shownRows * (cols * qsizetype(ColumnGap.size()) + 1)
                + std::accumulate(widths.begin(), widths.end(), qsizetype(0)) * shownRows / 2);
    QString line;

    QStringList top = furnitureLines(layout.title.trimmed().isEmpty() ? layout.programName : layout.title);
    top += furnitureLines(layout.subTitle);
    top += furnitureLines(layout.paragraph);
    for (QString& l : top) appendLine(out, l);
    if (!top.isEmpty()) out += u'\n';

    // Pads each cell but the last to its column's width plus the gap; a
    // text wider than the column keeps at least the gap.
    auto appendRow = [&](const QString* row, const int* rowWidths) {
        for (qsizetype c = 0; c < cols; ++c) {
            line += row[c];
            if (c + 1 < cols)
                line.resize(line.size() + std::max(0, widths[size_t(c)] - rowWidths[c]) + ColumnGap.size(), u' ');
        }
        appendLine(out, line);
    };

    if (cols > 0) {
        appendRow(headers.data(), headerWidths.data());
        for (qsizetype c = 0; c < cols; ++c) {
            if (c > 0) line += ColumnGap;
            line += QString(std::max(1, widths[size_t(c)]), u'-');
        }
        appendLine(out, line);
        for (qsizetype r = 0; r < shownRows; ++r) appendRow(cells.data() + r * cols, cellWidths.data() + r * cols);
    }

    QStringList bottom = furnitureLines(layout.footer);
    bottom += furnitureLines((layout.programName + u' ' + layout.programVersion).trimmed());
    if (!bottom.isEmpty()) out += u'\n';
    for (QString& l : bottom) appendLine(out, l);
    return out.toUtf8();
}

} // namespace quarlo
