#include "export/TablePainter.h"

#include <QFileDevice>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIODevice>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace quarlo {

namespace {

// Sizes in points; converted with the device's resolution.
constexpr qreal kBodyPt = 9, kTitlePt = 14, kSubTitlePt = 11, kFootPt = 8, kSmallPt = 6.5;
constexpr qreal kIndentPt = 12, kPadXPt = 2.5, kPadYPt = 1.5, kGapPt = 6, kRulePt = 0.4;
const QColor kLinkColor(0x06, 0x45, 0xAD);
const QColor kHeaderShade(0xE4, 0xE4, 0xE4);
const QColor kRuleColor(0xD0, 0xD0, 0xD0);
const QString kEllipsis(QChar(0x2026));

bool isControl(char16_t c) { return c < 0x20 || c == 0x7F; }

// The text as one paragraph per line: line breaks become the layout's
// line separator, tabs spaces, other control characters go.
// An underlined text starts where its ink starts: the grid's indenting
// blanks in front of a link would otherwise be underlined too.
QString cellText(const SnapshotCell& cell)
{
    if (!cell.underline && cell.link.isEmpty()) return cell.text;
    qsizetype start = 0;
    while (start < cell.text.size() && cell.text.at(start) == QLatin1Char(' ')) ++start;
    return cell.text.mid(start);
}

QString printable(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return isControl(c.unicode()); })) return text;
    QString s;
    s.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') continue;
        if (c == u'\n' || c == u'\r')
            s += QChar(QChar::LineSeparator);
        else if (c == u'\t')
            s += QLatin1Char(' ');
        else if (!isControl(c))
            s += QChar(c);
    }
    return s;
}

bool hasLineBreak(const QString& s) { return s.contains(QChar(QChar::LineSeparator)); }

// A text wrapped into a width, with the lines that fit into maxHeight; cut
// when more text was left over.
struct Wrapped {
    qreal height = 0;
    bool cut = false;
};

Wrapped wrapText(QTextLayout& tl, qreal width, qreal maxHeight)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    tl.setTextOption(option);
    Wrapped w;
    tl.beginLayout();
    for (;;) {
        QTextLine line = tl.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (w.height + line.height() > maxHeight && tl.lineCount() > 1) {
            w.cut = true;
            break;
        }
        line.setPosition(QPointF(0, w.height));
        w.height += line.height();
    }
    tl.endLayout();
    return w;
}

// Fonts of one style, with metrics for the device.
struct Face {
    QFont font;
    QFontMetricsF metrics;
    Face(const QFont& f, QPaintDevice* device) : font(f), metrics(f, device) {}
};

QFont makeFont(qreal points, bool bold, bool underline)
{
    QFont f = QGuiApplication::font();
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

struct PlacedRow {
    int row;           // index into snapshot.rows
    float height;      // device pixels
    uint32_t wrapped;  // bit per column (first 32): needs line layout when painted
};

class Pager {
public:
    Pager(const TableSnapshot& snapshot, const ExportLayout& layout, QPagedPaintDevice& device)
        : snapshot_(snapshot), layout_(layout), device_(device), dpi_(std::max(1, device.logicalDpiY())),
          faces_{Face(makeFont(kBodyPt, false, false), &device), Face(makeFont(kBodyPt, true, false), &device),
                 Face(makeFont(kBodyPt, false, true), &device), Face(makeFont(kBodyPt, true, true), &device)},
          title_(makeFont(kTitlePt, true, false), &device), subTitle_(makeFont(kSubTitlePt, false, false), &device),
          foot_(makeFont(kFootPt, false, false), &device), small_(makeFont(kSmallPt, false, false), &device)
    {
    }

    bool layOut(QString* error);
    bool paint(QPainter& p, QString* error);
    int pageCount() const { return int(pageStarts_.size()); }

private:
    qreal pt(qreal points) const { return points * dpi_ / 72.0; }
    const Face& face(bool bold, bool underline) const { return faces_[(bold ? 1 : 0) + (underline ? 2 : 0)]; }
    qreal contentWidth(int column, int level) const;
    // Height of a text in a width; sets *wrapped when it needs line layout.
    qreal measure(const QString& text, const Face& face, qreal width, qreal maxHeight, bool* wrapped) const;
    void drawText(QPainter& p, const QString& text, const Face& face, const QRectF& box, bool wrapped) const;
    qreal measureRow(const SnapshotRow& row, uint32_t* wrapped) const;
    qreal titleBlock(QPainter* p) const;
    void paintHeader(QPainter& p, qreal y) const;
    void paintRow(QPainter& p, const PlacedRow& placed, qreal y) const;
    void paintFoot(QPainter& p, int page) const;

    const TableSnapshot& snapshot_;
    const ExportLayout& layout_;
    QPagedPaintDevice& device_;
    int dpi_;
    std::array<Face, 4> faces_; // regular, bold, underlined, bold underlined
    Face title_, subTitle_, foot_, small_;

    int columns_ = 0;
    std::vector<qreal> left_, width_; // per column, device pixels
    qreal pageWidth_ = 0, pageHeight_ = 0, padX_ = 0, padY_ = 0;
    qreal headerHeight_ = 0, titleHeight_ = 0, footHeight_ = 0, maxRowHeight_ = 0;
    uint32_t headerWrapped_ = 0;
    std::vector<PlacedRow> rows_;
    std::vector<size_t> pageStarts_; // index into rows_ of each page's first row
};

qreal Pager::contentWidth(int column, int level) const
{
    qreal w = width_[column] - 2 * padX_;
    if (column == 0) w -= std::min(std::max(level, 0) * pt(kIndentPt), w / 2);
    return std::max<qreal>(w, 1);
}

qreal Pager::measure(const QString& text, const Face& face, qreal width, qreal maxHeight, bool* wrapped) const
{
    *wrapped = false;
    if (text.isEmpty()) return face.metrics.height();
    const QString s = printable(text);
    if (!hasLineBreak(s) && face.metrics.horizontalAdvance(s) <= width) return face.metrics.height();
    *wrapped = true;
    QTextLayout tl(s, face.font, &device_);
    return wrapText(tl, width, maxHeight).height;
}

void Pager::drawText(QPainter& p, const QString& text, const Face& face, const QRectF& box, bool wrapped) const
{
    if (text.isEmpty()) return;
    const QString s = printable(text);
    if (!wrapped) {
        p.drawText(QPointF(box.left(), box.top() + face.metrics.ascent()), s);
        return;
    }
    QTextLayout tl(s, face.font, &device_);
    const Wrapped w = wrapText(tl, box.width(), box.height());
    const int lines = tl.lineCount() - (w.cut ? 1 : 0); // the last line created did not fit
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = tl.lineAt(i);
        if (w.cut && i == lines - 1) {
            // Mark the cut on the last line that fits.
            QString last = s.mid(line.textStart(), line.textLength()).trimmed() + kEllipsis;
            if (face.metrics.horizontalAdvance(last) > box.width())
                last = face.metrics.elidedText(last, Qt::ElideRight, box.width());
            p.drawText(QPointF(box.left(), box.top() + line.y() + face.metrics.ascent()), last);
        } else {
            line.draw(&p, box.topLeft());
        }
    }
}

qreal Pager::measureRow(const SnapshotRow& row, uint32_t* wrapped) const
{
    qreal h = faces_[0].metrics.height();
    *wrapped = 0;
    const qreal maxText = maxRowHeight_ - 2 * padY_;
    for (int c = 0; c < columns_ && c < int(row.cells.size()); ++c) {
        const SnapshotCell& cell = row.cells[size_t(c)];
        bool w = false;
        h = std::max(h, measure(cellText(cell), face(cell.bold, cell.underline || !cell.link.isEmpty()),
                                contentWidth(c, row.level), maxText, &w));
        if (w && c < 32) *wrapped |= 1u << c;
    }
    return std::min(h + 2 * padY_, maxRowHeight_);
}

// The title, subtitle and paragraph on page 1; painted when p is given.
qreal Pager::titleBlock(QPainter* p) const
{
    qreal y = 0;
    const struct {
        const QString& text;
        const Face& face;
    } parts[] = {{layout_.title, title_}, {layout_.subTitle, subTitle_}, {layout_.paragraph, faces_[0]}};
    for (const auto& part : parts) {
        if (part.text.trimmed().isEmpty()) continue;
        // A paragraph may be long; it gets at most a third of the page.
        bool wrapped = false;
        const qreal h = measure(part.text, part.face, pageWidth_, pageHeight_ / 3, &wrapped);
        if (p) {
            p->setFont(part.face.font);
            drawText(*p, part.text, part.face, QRectF(0, y, pageWidth_, h), wrapped);
        }
        y += h + pt(kGapPt) / 2;
    }
    return y > 0 ? y + pt(kGapPt) / 2 : 0;
}

bool Pager::layOut(QString* error)
{
    pageWidth_ = device_.width();
    pageHeight_ = device_.height();
    padX_ = pt(kPadXPt);
    padY_ = pt(kPadYPt);

    columns_ = int(snapshot_.headers.size());
    for (const SnapshotRow& row : snapshot_.rows) columns_ = std::max(columns_, int(row.cells.size()));
    columns_ = std::max(columns_, 1);
    qreal total = 0;
    std::vector<qreal> raw(static_cast<size_t>(columns_));
    for (int c = 0; c < columns_; ++c) {
        const int w = c < snapshot_.columnWidths.size() ? snapshot_.columnWidths.at(c) : 0;
        raw[size_t(c)] = w > 0 ? w : 100;
        total += raw[size_t(c)];
    }
    qreal x = 0;
    for (int c = 0; c < columns_; ++c) {
        left_.push_back(x);
        width_.push_back(raw[size_t(c)] / total * pageWidth_);
        x += width_.back();
    }

    footHeight_ = pt(kGapPt) + foot_.metrics.height() + (layout_.programName.isEmpty() ? 0 : small_.metrics.height());
    // The header row may not take more than a quarter of the page.
    maxRowHeight_ = pageHeight_ / 4;
    if (!snapshot_.headers.isEmpty()) {
        SnapshotRow header;
        for (const QString& h : snapshot_.headers) header.cells.push_back(SnapshotCell{h, {}, {}, true, false, {}});
        headerHeight_ = measureRow(header, &headerWrapped_);
    }
    titleHeight_ = titleBlock(nullptr);
    maxRowHeight_ = pageHeight_ - headerHeight_ - footHeight_;
    if (maxRowHeight_ < 2 * faces_[0].metrics.height() + 2 * padY_ || pageWidth_ < pt(72)) {
        if (error) *error = QStringLiteral("The page is too small to print the table on.");
        return false;
    }

    const qreal bottom = pageHeight_ - footHeight_ + 0.01; // tolerance for rounding
    qreal y = titleHeight_ + headerHeight_;
    pageStarts_.push_back(0);
    for (size_t i = 0; i < snapshot_.rows.size(); ++i) {
        const SnapshotRow& row = snapshot_.rows[i];
        if (!row.shown) continue;
        uint32_t wrapped = 0;
        const qreal h = measureRow(row, &wrapped);
        if (y + h > bottom) {
            // A row never exceeds maxRowHeight_, so it fits on a fresh page.
            pageStarts_.push_back(rows_.size());
            y = headerHeight_;
        }
        rows_.push_back(PlacedRow{int(i), float(h), wrapped});
        y += h;
    }
    return true;
}

void Pager::paintHeader(QPainter& p, qreal y) const
{
    if (headerHeight_ <= 0) return;
    p.fillRect(QRectF(0, y, pageWidth_, headerHeight_), kHeaderShade);
    const Face& f = faces_[1];
    p.setFont(f.font);
    p.setPen(Qt::black);
    for (int c = 0; c < columns_ && c < snapshot_.headers.size(); ++c)
        drawText(p, snapshot_.headers.at(c), f,
                 QRectF(left_[size_t(c)] + padX_, y + padY_, contentWidth(c, 0), headerHeight_ - 2 * padY_),
                 c < 32 && (headerWrapped_ >> c & 1u));
}

void Pager::paintRow(QPainter& p, const PlacedRow& placed, qreal y) const
{
    const SnapshotRow& row = snapshot_.rows[size_t(placed.row)];
    const qreal h = placed.height;
    for (int c = 0; c < columns_ && c < int(row.cells.size()); ++c) {
        const SnapshotCell& cell = row.cells[size_t(c)];
        if (cell.background.isValid()) p.fillRect(QRectF(left_[size_t(c)], y, width_[size_t(c)], h), cell.background);
        if (cell.text.isEmpty()) continue;
        const bool link = !cell.link.isEmpty();
        const Face& f = face(cell.bold, cell.underline || link);
        p.setFont(f.font);
        p.setPen(cell.color.isValid() ? cell.color : link ? kLinkColor : QColor(Qt::black));
        const qreal indent = width_[size_t(c)] - 2 * padX_ - contentWidth(c, row.level);
        const QRectF box(left_[size_t(c)] + padX_ + indent, y + padY_, contentWidth(c, row.level), h - 2 * padY_);
        bool wrapped = c < 32 && (placed.wrapped >> c & 1u);
        const QString text = cellText(cell);
        if (c >= 32) measure(text, f, box.width(), box.height(), &wrapped); // beyond the row's wrap bits
        drawText(p, text, f, box, wrapped);
    }
}

void Pager::paintFoot(QPainter& p, int page) const
{
    qreal y = pageHeight_ - footHeight_ + pt(kGapPt);
    p.setPen(QPen(kRuleColor, pt(kRulePt)));
    p.drawLine(QPointF(0, y - pt(kGapPt) / 2), QPointF(pageWidth_, y - pt(kGapPt) / 2));
    p.setPen(Qt::black);
    p.setFont(foot_.font);
    const QString number = QStringLiteral("Page %1 of %2").arg(page).arg(pageCount());
    const qreal numberWidth = foot_.metrics.horizontalAdvance(number);
    const qreal baseline = y + foot_.metrics.ascent();
    p.drawText(QPointF(pageWidth_ - numberWidth, baseline), number);
    const QString footer = printable(layout_.footer).replace(QChar(QChar::LineSeparator), QLatin1Char(' '));
    if (!footer.isEmpty())
        p.drawText(QPointF(0, baseline),
                   foot_.metrics.elidedText(footer, Qt::ElideRight, pageWidth_ - numberWidth - pt(kGapPt)));
    if (!layout_.programName.isEmpty()) {
        p.setFont(small_.font);
        p.setPen(Qt::darkGray);
        const QString program = printable(QStringLiteral("%1 %2").arg(layout_.programName, layout_.programVersion))
                                    .trimmed();
        p.drawText(QPointF(0, y + foot_.metrics.height() + small_.metrics.ascent()),
                   small_.metrics.elidedText(program, Qt::ElideRight, pageWidth_));
    }
}

bool Pager::paint(QPainter& p, QString* error)
{
    const QPen rule(kRuleColor, pt(kRulePt));
    for (size_t page = 0; page < pageStarts_.size(); ++page) {
        if (page > 0 && !device_.newPage()) {
            if (error) *error = QStringLiteral("Could not start page %1.").arg(page + 1);
            return false;
        }
        qreal y = 0;
        if (page == 0) {
            titleBlock(&p);
            y = titleHeight_;
        }
        paintHeader(p, y);
        y += headerHeight_;
        const size_t end = page + 1 < pageStarts_.size() ? pageStarts_[page + 1] : rows_.size();
        for (size_t i = pageStarts_[page]; i < end; ++i) {
            paintRow(p, rows_[i], y);
            y += rows_[i].height;
            p.setPen(rule);
            p.drawLine(QPointF(0, y), QPointF(pageWidth_, y));
        }
        paintFoot(p, int(page) + 1);
    }
    return true;
}

} // namespace

int TablePainter::Paint(const TableSnapshot& snapshot, const ExportLayout& layout, QPagedPaintDevice& device,
                        QString* error)
{
    device.setPageOrientation(layout.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    Pager pager(snapshot, layout, device);
    if (!pager.layOut(error)) return 0;
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error) *error = QStringLiteral("Could not start painting on the page device.");
        return 0;
    }
    const bool ok = pager.paint(painter, error);
    if (!painter.end() && ok) {
        if (error) *error = QStringLiteral("Could not finish the pages.");
        return 0;
    }
    return ok ? pager.pageCount() : 0;
}

bool TablePainter::WritePdf(const TableSnapshot& snapshot, const ExportLayout& layout, QIODevice& out,
                            QString* error)
{
    if (!out.isOpen() && !out.open(QIODevice::WriteOnly)) {
        if (error) *error = QStringLiteral("Could not open the PDF output: %1").arg(out.errorString());
        return false;
    }
    if (!out.isWritable()) {
        if (error) *error = QStringLiteral("The PDF output is not open for writing.");
        return false;
    }
    QPdfWriter writer(&out);
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    writer.setTitle(layout.title);
    writer.setCreator(QStringLiteral("%1 %2").arg(layout.programName, layout.programVersion).trimmed());
    if (TablePainter::Paint(snapshot, layout, writer, error) == 0) return false;
    if (auto* file = qobject_cast<QFileDevice*>(&out); file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        if (error) *error = QStringLiteral("Could not write the PDF: %1").arg(file->errorString());
        return false;
    }
    return true;
}

} // namespace quarlo
