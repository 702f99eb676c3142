#include "export/TablePainter.h"

#include "export/DisplayWidth.h"

#include <QFileDevice>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QIODevice>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace quarlo {

namespace {

// Sizes in points; converted with the device's resolution.
constexpr qreal kBodyPt = 9, kTitlePt = 14, kSubTitlePt = 11, kFootPt = 8, kSmallPt = 6.5;
constexpr qreal kIndentPt = 12, kPadXPt = 2.5, kPadYPt = 1.5, kGapPt = 6, kRulePt = 0.4;
const QColor kLinkColor(0x06, 0x45, 0xAD);
const QColor kHeaderShade(0xE4, 0xE4, 0xE4);
const QColor kRuleColor(0xD0, 0xD0, 0xD0);

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

// The text as one paragraph per line: line breaks become the layout's
// line separator, tabs spaces, other control characters go.
// An underlined text starts where its ink starts: the grid's indenting
// blanks in front of a link would otherwise be underlined too.
QString cellText(const SnapshotCell& cell)
{
    if (!cell.underline) return cell.text;
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

bool hasLineBreak(const QString& s)
{
    return s.contains(QChar(QChar::LineSeparator));
}

bool isWebLink(const QString& link)
{
    return link.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || link.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// Lays a text out in lines of a width; returns its height.
qreal wrapText(QTextLayout& tl, qreal width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    tl.setTextOption(option);
    qreal height = 0;
    tl.beginLayout();
    for (;;) {
        QTextLine line = tl.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    tl.endLayout();
    return height;
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

// A row on a page, or the part of it that fits there: a row taller than a
// page continues on the next, so nothing of a long text is lost.
struct PlacedRow {
    int row;          // index into snapshot.rows
    float offset;     // device pixels of the row's text above this part (on earlier pages)
    float height;     // device pixels of this part, padding included
    uint32_t wrapped; // bit per column (first 32): needs line layout when painted
};

// What a cell draws in a part of its row: the lines whose top lies in
// [from, to) of its laid-out text.
struct Slice {
    qreal from = 0;
    qreal to = 1e30;
};

// What a laid-out text depends on, so that a text repeated down the table
// (list names, addresses of their pages, reasons) is shaped once.
struct LayoutKey {
    const Face* face;
    QString text;
    QString link;
    QRgb linkColor;
    qreal width; // < 0: one line
    bool operator==(const LayoutKey& o) const
    {
        return face == o.face && width == o.width && linkColor == o.linkColor && text == o.text && link == o.link;
    }
};
size_t qHash(const LayoutKey& k, size_t seed = 0)
{
    return qHashMulti(seed, quintptr(k.face), k.text, k.link, k.linkColor, k.width);
}

class Pager {
public:
    Pager(const TableSnapshot& snapshot, const ExportLayout& layout, QPagedPaintDevice& device)
        : snapshot_(snapshot), layout_(layout), device_(device),
          dpi_(std::max(1, device.logicalDpiY())), faces_{Face(makeFont(kBodyPt, false, false), &device),
                                                          Face(makeFont(kBodyPt, true, false), &device),
                                                          Face(makeFont(kBodyPt, false, true), &device),
                                                          Face(makeFont(kBodyPt, true, true), &device)},
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
    qreal measure(const QString& text, const Face& face, qreal width, bool* wrapped) const;
    // Draws the lines of text in slice from the box's top; link, when
    // given and found in the text, becomes a link annotation over it.
    void drawText(QPainter& p, const QString& text, const Face& face, const QRectF& box, bool wrapped,
                  const Slice& slice = {}, const QString& link = {}, const QColor& linkColor = {}) const;
    qreal measureRow(const SnapshotRow& row, uint32_t* wrapped) const;
    // Column widths from the texts within the page width.
    void layOutColumns();
    // Places one row, splitting it over pages when it is taller than what is left.
    void place(int index, qreal height, uint32_t wrapped, qreal& y, qreal bottom);
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

    // Bounded caches: shaping is most of a page's cost and most texts of a
    // report repeat. A layout is kept from a text's second use on, so the
    // many texts seen once (targets, TXT texts) take no room.
    qreal advance(const Face& face, const QString& s) const;
    const QTextLayout* cachedLayout(const LayoutKey& key) const;
    mutable QHash<std::pair<const Face*, QString>, qreal> advances_;
    mutable QHash<LayoutKey, std::shared_ptr<QTextLayout>> layouts_; // null: seen once
};

qreal Pager::advance(const Face& face, const QString& s) const
{
    const auto key = std::make_pair(&face, s);
    if (const auto it = advances_.constFind(key); it != advances_.cend()) return *it;
    if (advances_.size() >= 65536) advances_.clear();
    const qreal w = face.metrics.horizontalAdvance(s);
    advances_.insert(key, w);
    return w;
}

qreal Pager::contentWidth(int column, int level) const
{
    qreal w = width_[column] - 2 * padX_;
    if (column == 0) w -= std::min(std::max(level, 0) * pt(kIndentPt), w / 2);
    return std::max<qreal>(w, 1);
}

qreal Pager::measure(const QString& text, const Face& face, qreal width, bool* wrapped) const
{
    *wrapped = false;
    if (text.isEmpty()) return face.metrics.height();
    const QString s = printable(text);
    if (!hasLineBreak(s) && advance(face, s) <= width) return face.metrics.height();
    *wrapped = true;
    QTextLayout tl(s, face.font, &device_);
    return wrapText(tl, width);
}

namespace {
void layOutInto(QTextLayout& tl, const LayoutKey& key, qsizetype at)
{
    if (at >= 0) {
        // The PDF writer turns an anchor drawn through a text layout into a
        // link annotation: the address becomes clickable.
        QTextLayout::FormatRange range;
        range.start = int(at);
        range.length = int(key.link.size());
        range.format.setAnchor(true);
        range.format.setAnchorHref(key.link);
        range.format.setFontUnderline(true);
        range.format.setForeground(QColor::fromRgba(key.linkColor));
        tl.setFormats({range});
    }
    if (key.width >= 0) {
        wrapText(tl, key.width);
    } else {
        tl.beginLayout();
        QTextLine line = tl.createLine();
        line.setPosition(QPointF(0, 0));
        tl.endLayout();
    }
}
} // namespace

const QTextLayout* Pager::cachedLayout(const LayoutKey& key) const
{
    if (key.text.size() > 256) return nullptr;
    auto it = layouts_.find(key);
    if (it == layouts_.end()) {
        if (layouts_.size() >= 4096) layouts_.clear();
        layouts_.insert(key, nullptr);
        return nullptr;
    }
    if (!*it) {
        if (layouts_.size() >= 4096) return nullptr;
        auto tl = std::make_shared<QTextLayout>(key.text, key.face->font, &device_);
        layOutInto(*tl, key, key.link.isEmpty() ? -1 : key.text.indexOf(key.link));
        *it = std::move(tl);
    }
    return it->get();
}

void Pager::drawText(QPainter& p, const QString& text, const Face& face, const QRectF& box, bool wrapped,
                     const Slice& slice, const QString& link, const QColor& linkColor) const
{
    if (text.isEmpty()) return;
    const QString s = printable(text);
    const qsizetype at = link.isEmpty() ? -1 : s.indexOf(link);
    const LayoutKey key{&face, s, at >= 0 ? link : QString(), at >= 0 ? linkColor.rgba() : QRgb(0),
                        wrapped ? box.width() : -1};
    const QTextLayout* tl = cachedLayout(key);
    std::unique_ptr<QTextLayout> own;
    if (!tl) {
        if (!wrapped && at < 0) {
            if (slice.from <= 0) p.drawText(QPointF(box.left(), box.top() + face.metrics.ascent()), s);
            return;
        }
        own = std::make_unique<QTextLayout>(s, face.font, &device_);
        layOutInto(*own, key, at);
        tl = own.get();
    }
    // A line belongs to the part of the row its top falls into; half a
    // line of tolerance absorbs the rounding of line heights.
    const qreal tolerance = face.metrics.height() / 2;
    for (int i = 0; i < tl->lineCount(); ++i) {
        const QTextLine line = tl->lineAt(i);
        if (line.y() < slice.from - tolerance) continue;
        if (line.y() >= slice.to - tolerance) break;
        line.draw(&p, QPointF(box.left(), box.top() - slice.from));
    }
}

qreal Pager::measureRow(const SnapshotRow& row, uint32_t* wrapped) const
{
    qreal h = faces_[0].metrics.height();
    *wrapped = 0;
    for (int c = 0; c < columns_ && c < int(row.cells.size()); ++c) {
        const SnapshotCell& cell = row.cells[size_t(c)];
        bool w = false;
        h = std::max(h, measure(cellText(cell), face(cell.bold, cell.underline), contentWidth(c, row.level), &w));
        if (w && c < 32) *wrapped |= 1u << c;
    }
    return h + 2 * padY_;
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
        const qreal h = std::min(measure(part.text, part.face, pageWidth_, &wrapped), pageHeight_ / 3);
        if (p) {
            p->setFont(part.face.font);
            drawText(*p, part.text, part.face, QRectF(0, y, pageWidth_, h), wrapped, Slice{0, h});
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
    layOutColumns();

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
        place(int(i), h, wrapped, y, bottom);
    }
    return true;
}

void Pager::place(int index, qreal height, uint32_t wrapped, qreal& y, qreal bottom)
{
    const auto newPage = [&] {
        pageStarts_.push_back(rows_.size());
        y = headerHeight_;
    };
    if (y + height > bottom && height <= maxRowHeight_) newPage(); // fits whole on the next page
    if (y + height <= bottom) {
        rows_.push_back(PlacedRow{index, 0, float(height), wrapped});
        y += height;
        return;
    }
    // Taller than a page: as many whole lines as fit on each page, the
    // rest on the next. Lines of the body font are all alike, so parts end
    // at multiples of its line height.
    const qreal line = faces_[0].metrics.height();
    const qreal text = height - 2 * padY_;
    qreal offset = 0;
    while (offset < text - 0.5) {
        qreal room = bottom - y - 2 * padY_;
        if (room < 2 * line && pageStarts_.back() != rows_.size()) {
            newPage();
            room = bottom - y - 2 * padY_;
        }
        const qreal part = std::min(text - offset, std::max(line, std::floor(room / line) * line));
        rows_.push_back(PlacedRow{index, float(offset), float(part + 2 * padY_), wrapped});
        y += part + 2 * padY_;
        offset += part;
        if (offset < text - 0.5) newPage();
    }
}

void Pager::layOutColumns()
{
    // What each column needs to show its longest text on one line (padding
    // and the first column's indent included), up to most of the page.
    std::vector<qreal> need(size_t(columns_), 0);
    const qreal cap = pageWidth_ * 0.7;
    const auto want = [&](int c, const QString& text, const Face& f, int level) {
        qreal& n = need[size_t(c)];
        if (n >= cap || text.isEmpty()) return;
        const qreal indent = c == 0 ? std::max(level, 0) * pt(kIndentPt) : 0;
        const qreal width = text.size() > 400 ? cap : advance(f, printable(text));
        n = std::min(cap, std::max(n, width + indent + 2 * padX_ + 1));
    };
    for (int c = 0; c < columns_ && c < snapshot_.headers.size(); ++c) want(c, snapshot_.headers.at(c), faces_[1], 0);
    // Measuring every cell in the font would cost as much as the pages
    // themselves: only texts near the longest in characters (indent
    // counted) can be the widest on paper.
    std::vector<int> longest(size_t(columns_), 0);
    const auto characters = [](const SnapshotRow& row, size_t c) {
        return DisplayWidth(row.cells[c].text) + (c == 0 ? 3 * std::max(row.level, 0) : 0);
    };
    for (const SnapshotRow& row : snapshot_.rows) {
        if (!row.shown) continue;
        for (size_t c = 0; c < size_t(columns_) && c < row.cells.size(); ++c)
            longest[c] = std::max(longest[c], row.cells[c].text.size() > 400 ? 400 : characters(row, c));
    }
    for (const SnapshotRow& row : snapshot_.rows) {
        if (!row.shown) continue;
        for (int c = 0; c < columns_ && c < int(row.cells.size()); ++c) {
            const SnapshotCell& cell = row.cells[size_t(c)];
            if (need[size_t(c)] >= cap) continue;
            if (cell.text.size() <= 400 && characters(row, size_t(c)) * 10 < longest[size_t(c)] * 7) continue;
            want(c, cellText(cell), face(cell.bold, cell.underline), row.level);
        }
    }
    for (qreal& n : need) n = std::max(n, pt(36));

    // The targets first (up to almost half the page: they are what the
    // report is about), then the other columns share the rest: those that
    // need less than an equal share get what they need, the others split
    // what is left by what they need. Room to spare goes to every column
    // by what it needs.
    std::vector<qreal> width(size_t(columns_), 0);
    qreal total = 0;
    for (qreal n : need) total += n;
    if (total <= pageWidth_) {
        for (int c = 0; c < columns_; ++c) width[size_t(c)] = need[size_t(c)] / total * pageWidth_;
    } else {
        qreal room = pageWidth_;
        std::vector<int> open(static_cast<std::size_t>(columns_));
        std::iota(open.begin(), open.end(), 0);
        if (columns_ > 1) {
            width[0] = std::min(need[0], pageWidth_ * 0.45);
            room -= width[0];
            open.erase(open.begin());
        }
        while (!open.empty()) {
            const qreal share = room / qreal(open.size());
            std::vector<int> still;
            for (int c : open) {
                if (need[size_t(c)] <= share) {
                    width[size_t(c)] = need[size_t(c)];
                    room -= need[size_t(c)];
                } else {
                    still.push_back(c);
                }
            }
            if (still.size() == open.size()) {
                qreal wanted = 0;
                for (int c : still) wanted += need[size_t(c)];
                for (int c : still) width[size_t(c)] = room * need[size_t(c)] / wanted;
                break;
            }
            open = std::move(still);
        }
    }
    qreal x = 0;
    for (int c = 0; c < columns_; ++c) {
        left_.push_back(x);
        width_.push_back(width[size_t(c)]);
        x += width[size_t(c)];
    }
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
    const Slice slice{placed.offset, placed.offset + h - 2 * padY_};
    for (int c = 0; c < columns_ && c < int(row.cells.size()); ++c) {
        const SnapshotCell& cell = row.cells[size_t(c)];
        if (cell.background.isValid()) p.fillRect(QRectF(left_[size_t(c)], y, width_[size_t(c)], h), cell.background);
        if (cell.text.isEmpty()) continue;
        // Only web addresses are links; the writer checks what it is given.
        const QString link = isWebLink(cell.link) ? cell.link : QString();
        const Face& f = face(cell.bold, cell.underline);
        p.setFont(f.font);
        p.setPen(cell.color.isValid() ? cell.color : link == cellText(cell) ? kLinkColor : QColor(Qt::black));
        const qreal indent = width_[size_t(c)] - 2 * padX_ - contentWidth(c, row.level);
        const QRectF box(left_[size_t(c)] + padX_ + indent, y + padY_, contentWidth(c, row.level), h - 2 * padY_);
        bool wrapped = c < 32 && (placed.wrapped >> c & 1u);
        const QString text = cellText(cell);
        if (c >= 32) measure(text, f, box.width(), &wrapped); // beyond the row's wrap bits
        drawText(p, text, f, box, wrapped, slice, link, cell.color.isValid() ? cell.color : kLinkColor);
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
        const QString program =
            printable(QStringLiteral("%1 %2").arg(layout_.programName, layout_.programVersion)).trimmed();
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

bool TablePainter::WritePdf(const TableSnapshot& snapshot, const ExportLayout& layout, QIODevice& out, QString* error)
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
    if (auto* file = qobject_cast<QFileDevice*>(&out);
        file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        if (error) *error = QStringLiteral("Could not write the PDF: %1").arg(file->errorString());
        return false;
    }
    return true;
}

} // namespace quarlo
