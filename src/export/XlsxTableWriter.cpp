#include "export/XlsxTableWriter.h"

#include <QByteArray>
#include <QFile>

#include <xlsxwriter.h>

#include "common/FormulaGuard.h"
#include "export/DisplayWidth.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace quarlo {

namespace {

constexpr qsizetype kMaxCellChars = 32767; // what one spreadsheet cell holds
constexpr int kMaxUrlsPerSheet = 65530;    // hyperlinks the spreadsheet accepts per sheet
constexpr qsizetype kMaxUrlBytes = 2079;   // longest hyperlink the spreadsheet opens
constexpr lxw_row_t kMaxRows = 1048576;
constexpr int kMaxColumnCharacters = 80;     // wider columns wrap their text instead
constexpr lxw_color_t kLinkBlue = 0x0563C1;  // the spreadsheet's own hyperlink colour
constexpr lxw_color_t kNoColor = 0xFFFFFFFF; // outside the 24-bit range: "not set"

bool isDroppedControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}

// The cell text as the file can hold it: control characters out, cut to the
// cell limit with an ellipsis, without splitting a surrogate pair.
QByteArray cellText(const QString& text)
{
    QString s = text;
    if (std::any_of(s.cbegin(), s.cend(), [](QChar c) { return isDroppedControl(c.unicode()); }))
        s.removeIf([](QChar c) { return isDroppedControl(c.unicode()); });
    if (s.size() > kMaxCellChars) {
        qsizetype keep = kMaxCellChars - 1;
        if (s.at(keep - 1).isHighSurrogate()) --keep;
        s.truncate(keep);
        s.append(QChar(0x2026));
    }
    return s.toUtf8();
}

bool isWebLink(const QString& link)
{
    return link.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || link.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

lxw_color_t toLxw(const QColor& c)
{
    return c.isValid() ? lxw_color_t(c.rgb() & 0xFFFFFF) : kNoColor;
}

enum class Role { Cell, Header, Title, SubTitle };

// Everything that makes two cells look different; cells with equal keys
// share one format.
using StyleKey = std::tuple<Role, lxw_color_t, lxw_color_t, bool, bool, int, bool>;

class FormatCache {
public:
    explicit FormatCache(lxw_workbook* wb) : wb_(wb) {}

    // Null when the library could not allocate a format.
    lxw_format* get(Role role, lxw_color_t color, lxw_color_t background, bool bold, bool underline, int indent,
                    bool wrap)
    {
        const StyleKey key{role, color, background, bold, underline, indent, wrap};
        auto it = cache_.find(key);
        if (it != cache_.end()) return it->second;
        lxw_format* f = workbook_add_format(wb_);
        if (!f) return nullptr;
        if (role == Role::Title) format_set_font_size(f, 14);
        if (role == Role::SubTitle) format_set_font_size(f, 12);
        if (role == Role::Header) format_set_bottom(f, LXW_BORDER_THIN);
        if (color != kNoColor) format_set_font_color(f, color);
        if (background != kNoColor) {
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_bg_color(f, background);
        }
        if (bold) format_set_bold(f);
        if (underline) format_set_underline(f, LXW_UNDERLINE_SINGLE);
        if (indent > 0) format_set_indent(f, uint8_t(std::min(indent, 15)));
        if (wrap) format_set_text_wrap(f);
        format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
        cache_.emplace(key, f);
        return f;
    }

private:
    lxw_workbook* wb_;
    std::map<StyleKey, lxw_format*> cache_;
};

class Writer {
public:
    Writer(lxw_workbook* wb, lxw_worksheet* ws) : ws_(ws), formats_(wb) {}

    bool writeString(lxw_row_t row, lxw_col_t col, const QString& text, lxw_format* format)
    {
        // Written as text, a formula sign is still taken as one when the
        // sheet is saved as CSV or the cell edited: the same guard as CSV's.
        const QByteArray bytes = cellText(FormulaGuarded(text));
        return check(worksheet_write_string(ws_, row, col, bytes.constData(), format));
    }

    bool writeCell(lxw_row_t row, lxw_col_t col, const SnapshotCell& cell, int indent)
    {
        // A link cell shows the address alone; a text around an address
        // (a TXT text, a formula holding one) stays plain text.
        const bool link = isWebLink(cell.link) && cell.text.trimmed() == cell.link && urls_ < kMaxUrlsPerSheet;
        const QByteArray url = link ? cellText(cell.link) : QByteArray();
        const bool wrap = cell.text.contains(QLatin1Char('\n')) || cell.text.size() > kMaxColumnCharacters;
        lxw_color_t color = toLxw(cell.color);
        if (link && color == kNoColor) color = kLinkBlue;
        lxw_format* format = formats_.get(Role::Cell, color, toLxw(cell.background), cell.bold,
                                          (cell.underline && !cell.text.trimmed().isEmpty()) || link, indent, wrap);
        if (!format) return fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
        if (link && url.size() <= kMaxUrlBytes) {
            const QByteArray text = cellText(cell.text.trimmed());
            const lxw_error e = worksheet_write_url_opt(ws_, row, col, url.constData(), format,
                                                        text.isEmpty() ? nullptr : text.constData(), nullptr);
            if (e == LXW_NO_ERROR) {
                ++urls_;
                return true;
            }
            // Escaping can push a link past the length limit; then the text stays, the link goes.
            if (e != LXW_ERROR_WORKSHEET_MAX_URL_LENGTH_EXCEEDED && e != LXW_ERROR_WORKSHEET_MAX_NUMBER_URLS_EXCEEDED)
                return fail(e);
        }
        if (cell.text.isEmpty() && format == formats_.get(Role::Cell, kNoColor, kNoColor, false, false, 0, false))
            return true; // nothing to show
        return writeString(row, col, cell.text, format);
    }

    bool check(lxw_error e) { return e == LXW_NO_ERROR || fail(e); }
    bool fail(lxw_error e)
    {
        if (error_ == LXW_NO_ERROR) error_ = e;
        return false;
    }

    lxw_worksheet* ws_;
    FormatCache formats_;
    int urls_ = 0;
    lxw_error error_ = LXW_NO_ERROR;
};

QString libraryError(const QString& fileName, lxw_error e)
{
    QString reason = QString::fromUtf8(lxw_strerror(e)).trimmed();
    if (!reason.endsWith(QLatin1Char('.'))) reason += QLatin1Char('.');
    return QStringLiteral("Could not write the spreadsheet %1: %2").arg(fileName, reason);
}

// The lines the row's tallest cell takes in columns of the given widths
// (in characters): its own line breaks, and its lines wrapped at the width.
int wrappedLines(const SnapshotRow& row, const QList<int>& widths)
{
    int most = 1;
    for (size_t c = 0; c < row.cells.size(); ++c) {
        const QString& text = row.cells[c].text;
        const int width = std::max(1, widths.value(qsizetype(c), kMaxColumnCharacters));
        if (text.size() <= width && !text.contains(QLatin1Char('\n'))) continue;
        int lines = 0;
        for (QStringView line : QStringView(text).split(QLatin1Char('\n')))
            lines += std::max(1, (std::min(DisplayWidth(line), 40 * width) + width - 1) / width);
        most = std::max(most, lines);
    }
    return most;
}

bool writeSheet(Writer& w, const TableSnapshot& snapshot, const ExportLayout& layout, QString* error)
{
    lxw_worksheet* ws = w.ws_;
    int columns = int(snapshot.headers.size());
    for (const SnapshotRow& row : snapshot.rows) columns = std::max(columns, int(row.cells.size()));
    columns = std::clamp(columns, 1, 16384);

    lxw_row_t r = 0;
    const struct {
        const QString& text;
        Role role;
    } titles[] = {{layout.title, Role::Title}, {layout.subTitle, Role::SubTitle}, {layout.paragraph, Role::Cell}};
    for (const auto& t : titles) {
        if (t.text.trimmed().isEmpty()) continue;
        lxw_format* f = w.formats_.get(t.role, kNoColor, kNoColor, t.role == Role::Title, false, 0, false);
        if (!f || !w.writeString(r++, 0, t.text, f)) return false;
    }
    if (r > 0) ++r; // a blank row between the titles and the table

    const lxw_row_t headerRow = r++;
    if (lxw_row_t(snapshot.rows.size()) > kMaxRows - r) {
        if (error)
            *error =
                QStringLiteral("The table has %1 rows, more than a spreadsheet can hold.").arg(snapshot.rows.size());
        return false;
    }
    const lxw_row_t lastRow = headerRow + lxw_row_t(snapshot.rows.size());

    // Column widths and sheet-wide settings go in before the first row
    // streams out.
    // Widths in characters from the texts (the first column's indent
    // counted), the same for every door; a long TXT text wraps at the cap.
    const QList<int> widths = ContentColumnWidths(snapshot, kMaxColumnCharacters);
    for (int c = 0; c < columns; ++c) {
        const double characters = widths.value(c, 10) + 2; // the cell's margins and the filter button
        if (!w.check(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), characters, nullptr))) return false;
    }
    worksheet_outline_settings(ws, 1, 0, 0, 0);
    // Printed, the sheet fits the page's width (as many pages down as it
    // takes) in the report's orientation: every column on each page.
    worksheet_fit_to_pages(ws, 1, 0);
    if (layout.orientation == 2)
        worksheet_set_landscape(ws);
    else
        worksheet_set_portrait(ws);
    worksheet_repeat_rows(ws, headerRow, headerRow);
    worksheet_freeze_panes(ws, headerRow + 1, 0);
    if (!w.check(worksheet_autofilter(ws, headerRow, 0, lastRow, lxw_col_t(columns - 1)))) return false;

    lxw_format* headerFormat = w.formats_.get(Role::Header, kNoColor, kNoColor, true, false, 0, false);
    if (!headerFormat) return w.fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    for (int c = 0; c < columns; ++c)
        if (!w.writeString(headerRow, lxw_col_t(c), c < snapshot.headers.size() ? snapshot.headers.at(c) : QString(),
                           headerFormat))
            return false;

    for (const SnapshotRow& row : snapshot.rows) {
        const lxw_row_t rn = r++;
        const int level = std::clamp(row.level, 0, 7);
        lxw_row_col_options opt{};
        opt.hidden = row.shown ? 0 : 1;
        opt.level = uint8_t(level);
        opt.collapsed = (row.hasChildren && !row.expanded) ? 1 : 0;
        // A row with wrapped text is as tall as its lines: a spreadsheet
        // would otherwise draw them over the rows below.
        const int lines = wrappedLines(row, widths);
        if ((opt.hidden || opt.level || opt.collapsed || lines > 1)
            && !w.check(worksheet_set_row_opt(
                ws, rn, lines > 1 ? std::min(409.0, LXW_DEF_ROW_HEIGHT * lines) : LXW_DEF_ROW_HEIGHT, nullptr, &opt)))
            return false;
        for (size_t c = 0; c < row.cells.size() && int(c) < columns; ++c)
            if (!w.writeCell(rn, lxw_col_t(c), row.cells[c], c == 0 ? level : 0)) return false;
    }
    return true;
}

} // namespace

bool XlsxTableWriter::Write(const TableSnapshot& snapshot, const ExportLayout& layout, const QString& fileName,
                            QString* error)
{
    const QByteArray name = QFile::encodeName(fileName);
    if (name.isEmpty()) {
        if (error) *error = QStringLiteral("No file name was given for the spreadsheet.");
        return false;
    }
    lxw_workbook_options options{};
    options.constant_memory = 1;
    lxw_workbook* wb = workbook_new_opt(name.constData(), &options);
    if (!wb) {
        if (error) *error = libraryError(fileName, LXW_ERROR_MEMORY_MALLOC_FAILED);
        return false;
    }

    const QByteArray title = cellText(layout.title), program = cellText(layout.programName);
    const QByteArray comments =
        cellText(QStringLiteral("%1 %2").arg(layout.programName, layout.programVersion).trimmed());
    lxw_doc_properties props{};
    props.title = title.isEmpty() ? nullptr : const_cast<char*>(title.constData());
    props.author = props.company = program.isEmpty() ? nullptr : const_cast<char*>(program.constData());
    props.comments = comments.isEmpty() ? nullptr : const_cast<char*>(comments.constData());

    lxw_error failure = workbook_set_properties(wb, &props);
    lxw_worksheet* ws = failure == LXW_NO_ERROR ? workbook_add_worksheet(wb, "Results") : nullptr;
    if (!ws) {
        // The streamed sheet needs a temporary file; without it nothing can be written.
        lxw_workbook_free(wb);
        if (error) *error = libraryError(fileName, failure != LXW_NO_ERROR ? failure : LXW_ERROR_CREATING_TMPFILE);
        return false;
    }

    Writer writer(wb, ws);
    QString sheetError;
    if (!writeSheet(writer, snapshot, layout, &sheetError)) {
        lxw_workbook_free(wb);
        if (error) *error = sheetError.isEmpty() ? libraryError(fileName, writer.error_) : sheetError;
        return false;
    }
    failure = workbook_close(wb);
    if (failure != LXW_NO_ERROR) {
        if (error) *error = libraryError(fileName, failure);
        return false;
    }
    return true;
}

} // namespace quarlo
