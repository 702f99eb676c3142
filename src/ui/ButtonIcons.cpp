#include "ui/ButtonIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QTransform>
#include <cmath>
#include <initializer_list>

namespace quarlo {
namespace {

// One palette for every drawn icon, so they read as one set: dark outlines,
// white paper, a few clear accent colours (nothing grey enough to look
// disabled).
const QColor kInk(46, 52, 54);
const QColor kPaper(255, 255, 255);
const QColor kRule(136, 138, 133);
const QColor kBlue(52, 101, 164);
const QColor kLightBlue(114, 159, 207);
const QColor kGreen(78, 154, 6);
const QColor kLightGreen(115, 210, 22);
const QColor kRed(204, 0, 0);
const QColor kLightRed(239, 41, 41);
const QColor kYellow(237, 212, 0);
const QColor kLightYellow(252, 233, 79);
const QColor kBrown(193, 125, 17);
const QColor kMetal(211, 215, 207);

using Painter = void (*)(QPainter&);

// Pictures are drawn on a 24-unit grid and rendered at each size, so small
// sizes are drawn, not scaled down from a large one.
QIcon render(Painter paint, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (const int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 24.0, size / 24.0);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A toolbar picture drawn afresh at whatever size and screen density it is
// asked for, so it stays sharp at any scale (QT_SCALE_FACTOR=2, 3, ...).
class PaintedIconEngine : public QIconEngine {
public:
    explicit PaintedIconEngine(Painter paint) : paint_(paint) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size() * ratio, mode, state, ratio));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    // size is in device pixels already; scale is the density it is for.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(pixmap.width() / 24.0, pixmap.height() / 24.0);
            paint_(p);
        }
        if (mode == QIcon::Disabled) {
            QStyleOption option;
            pixmap = QApplication::style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {20, 20}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QIconEngine* clone() const override { return new PaintedIconEngine(paint_); }

private:
    Painter paint_;
};

QIcon render(Painter paint)
{
    return QIcon(new PaintedIconEngine(paint));
}

QPen ink(double width = 1.5)
{
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A page with a folded corner, the base of the document pictures.
void sheet(QPainter& p, const QRectF& r)
{
    const double fold = r.width() * 0.32;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawPath(page);
    QPainterPath ear;
    ear.moveTo(r.right() - fold, r.top());
    ear.lineTo(r.right() - fold, r.top() + fold);
    ear.lineTo(r.right(), r.top() + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(ear);
}

void lines(QPainter& p, double left, double right, std::initializer_list<double> ys)
{
    p.setPen(QPen(kRule, 1.2, Qt::SolidLine, Qt::FlatCap));
    for (const double y : ys) p.drawLine(QPointF(left, y), QPointF(right, y));
}

// A round badge with a plus, for "add".
void plusBadge(QPainter& p, QPointF centre, double radius)
{
    p.setPen(QPen(kGreen.darker(130), 1.0));
    p.setBrush(kGreen);
    p.drawEllipse(centre, radius, radius);
    const double arm = radius * 0.6;
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
}

void paintNewList(QPainter& p)
{
    sheet(p, QRectF(4.5, 2.5, 15, 19));
    lines(p, 7.5, 16.5, {10, 13.5, 17});
}

void paintAddAddresses(QPainter& p)
{
    sheet(p, QRectF(3.5, 2.5, 14, 18));
    lines(p, 6.5, 14.5, {9.5, 13});
    plusBadge(p, QPointF(16.5, 16.5), 5.5);
}

void paintStartScan(QPainter& p)
{
    QPainterPath play;
    play.moveTo(6.5, 4);
    play.lineTo(20, 12);
    play.lineTo(6.5, 20);
    play.closeSubpath();
    p.setPen(QPen(kGreen.darker(140), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kLightGreen);
    p.drawPath(play);
}

void paintStopScan(QPainter& p)
{
    p.setPen(QPen(kRed.darker(140), 1.5));
    p.setBrush(kLightRed);
    p.drawRoundedRect(QRectF(5, 5, 14, 14), 2.5, 2.5);
}

void paintOpen(QPainter& p)
{
    QPainterPath back;
    back.moveTo(2.5, 19.5);
    back.lineTo(2.5, 5);
    back.lineTo(8.5, 5);
    back.lineTo(10.5, 7.5);
    back.lineTo(19, 7.5);
    back.lineTo(19, 10.5);
    p.setPen(ink());
    p.setBrush(kYellow.darker(115));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(2.5, 19.5);
    front.lineTo(6, 10.5);
    front.lineTo(22, 10.5);
    front.lineTo(18.5, 19.5);
    front.closeSubpath();
    p.setBrush(kLightYellow);
    p.drawPath(front);
}

void paintSave(QPainter& p)
{
    QPainterPath disk;
    disk.moveTo(3.5, 3.5);
    disk.lineTo(17.5, 3.5);
    disk.lineTo(20.5, 6.5);
    disk.lineTo(20.5, 20.5);
    disk.lineTo(3.5, 20.5);
    disk.closeSubpath();
    p.setPen(ink());
    p.setBrush(kBlue);
    p.drawPath(disk);
    // The metal shutter and the label.
    p.setPen(ink(1.0));
    p.setBrush(kMetal);
    p.drawRect(QRectF(7, 3.5, 9, 5.5));
    p.setBrush(kInk);
    p.drawRect(QRectF(12.5, 4.5, 2, 3.5));
    p.setBrush(kPaper);
    p.drawRect(QRectF(6, 12, 12, 8.5));
    lines(p, 8, 16, {15, 17.5});
}

void paintPrint(QPainter& p)
{
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawRect(QRectF(6.5, 2.5, 11, 7));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(18.5, 11.5), 1.2, 1.2);
    // The printed page coming out at the front.
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawRect(QRectF(6.5, 13.5, 11, 8));
    lines(p, 8.5, 15.5, {16.5, 19});
}

void paintPrintPreview(QPainter& p)
{
    sheet(p, QRectF(3.5, 2.5, 14, 18));
    lines(p, 6.5, 11, {9, 12});
    p.setPen(QPen(kInk, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17.2, 17.2), QPointF(21, 21));
    p.setPen(ink());
    p.setBrush(QColor(kLightBlue.red(), kLightBlue.green(), kLightBlue.blue(), 170));
    p.drawEllipse(QPointF(14, 14), 4.5, 4.5);
}

void paintCut(QPainter& p)
{
    p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8.5, 14.5), QPointF(16.5, 2.5));
    p.drawLine(QPointF(15.5, 14.5), QPointF(7.5, 2.5));
    p.setPen(QPen(kRed, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(7, 18), 3.2, 3.2);
    p.drawEllipse(QPointF(17, 18), 3.2, 3.2);
}

void paintCopy(QPainter& p)
{
    sheet(p, QRectF(3, 2.5, 11.5, 14));
    sheet(p, QRectF(9.5, 7.5, 11.5, 14));
    lines(p, 12, 18.5, {13, 15.5, 18});
}

void paintPaste(QPainter& p)
{
    p.setPen(ink());
    p.setBrush(kBrown);
    p.drawRoundedRect(QRectF(3.5, 4, 17, 18), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(6.5, 8, 11, 11.5));
    lines(p, 8.5, 15.5, {11.5, 14, 16.5});
    p.setPen(ink(1.2));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(8, 2, 8, 4), 1, 1);
}

void paintDelete(QPainter& p)
{
    QPainterPath bin;
    bin.moveTo(5.5, 7);
    bin.lineTo(7, 21);
    bin.lineTo(17, 21);
    bin.lineTo(18.5, 7);
    p.setPen(QPen(kRed.darker(150), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kLightRed);
    p.drawPath(bin);
    p.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(10.4, 18));
    p.drawLine(QPointF(14, 10), QPointF(13.6, 18));
    // Lid and handle.
    p.setPen(QPen(kRed.darker(150), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(3.5, 5.5), QPointF(20.5, 5.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath handle;
    handle.moveTo(9.5, 5.5);
    handle.lineTo(9.5, 3);
    handle.lineTo(14.5, 3);
    handle.lineTo(14.5, 5.5);
    p.drawPath(handle);
}

void paintSettings(QPainter& p)
{
    const QPointF centre(12, 12);
    QPainterPath gear;
    gear.addEllipse(centre, 7, 7);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.9, -10, 3.8, 5));
        QTransform t;
        t.translate(centre.x(), centre.y());
        t.rotate(45.0 * i);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 3, 3);
    gear = gear.subtracted(hole);
    p.setPen(ink(1.3));
    p.setBrush(kLightBlue);
    p.drawPath(gear);
}

void paintAbout(QPainter& p)
{
    p.setPen(QPen(kBlue.darker(130), 1.2));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 7.3), 1.6, 1.6);
    p.setPen(QPen(Qt::white, 2.8, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12, 10.5), QPointF(12, 17.5));
}

// Keep in step with resources/quarlo.svg.
void paintProgram(QPainter& p)
{
    QPainterPath shield;
    shield.moveTo(12, 1.5);
    shield.lineTo(20.5, 4.5);
    shield.lineTo(20.5, 11);
    shield.cubicTo(20.5, 16.5, 16.8, 20.3, 12, 22.5);
    shield.cubicTo(7.2, 20.3, 3.5, 16.5, 3.5, 11);
    shield.lineTo(3.5, 4.5);
    shield.closeSubpath();
    QLinearGradient fill(QPointF(12, 1.5), QPointF(12, 22.5));
    fill.setColorAt(0, QColor(61, 125, 202));
    fill.setColorAt(1, QColor(32, 74, 135));
    p.setPen(QPen(QColor(22, 50, 92), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(shield);
    // A lighter left half gives the shield some depth.
    QPainterPath left;
    left.moveTo(12, 2.6);
    left.lineTo(4.5, 5.2);
    left.lineTo(4.5, 11);
    left.cubicTo(4.5, 15.8, 7.6, 19.2, 12, 21.3);
    left.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawPath(left);
    QPainterPath check;
    check.moveTo(7.5, 12);
    check.lineTo(10.8, 15.3);
    check.lineTo(16.8, 8.3);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(check);
}

struct DrawnIcon {
    const char* name;
    Painter paint;
};

const DrawnIcon kDrawn[] = {
    {"document-new", paintNewList},
    {"list-add", paintAddAddresses},
    {"media-playback-start", paintStartScan},
    {"media-playback-stop", paintStopScan},
    {"document-open", paintOpen},
    {"document-save", paintSave},
    {"document-print", paintPrint},
    {"document-print-preview", paintPrintPreview},
    {"edit-cut", paintCut},
    {"edit-copy", paintCopy},
    {"edit-paste", paintPaste},
    {"edit-delete", paintDelete},
    {"preferences-system", paintSettings},
    {"help-about", paintAbout},
};

} // namespace

QIcon ButtonIcons::Drawn(const QString& themeName)
{
    for (const DrawnIcon& icon : kDrawn)
        if (themeName == QLatin1String(icon.name)) return render(icon.paint);
    return {};
}

QIcon ButtonIcons::Named(const QString& themeName)
{
    // fromTheme's own fallback argument would draw the picture even when the
    // theme has the icon; only draw it when needed.
    QIcon themed = QIcon::fromTheme(themeName);
    if (!themed.isNull() && !themed.availableSizes().isEmpty()) return themed;
    QIcon drawn = Drawn(themeName);
    return drawn.isNull() ? themed : drawn;
}

QIcon ButtonIcons::NewList()
{
    return Named(QStringLiteral("document-new"));
}
QIcon ButtonIcons::AddAddresses()
{
    return Named(QStringLiteral("list-add"));
}
QIcon ButtonIcons::StartScan()
{
    return Named(QStringLiteral("media-playback-start"));
}
QIcon ButtonIcons::StopScan()
{
    return Named(QStringLiteral("media-playback-stop"));
}
QIcon ButtonIcons::Open()
{
    return Named(QStringLiteral("document-open"));
}
QIcon ButtonIcons::Save()
{
    return Named(QStringLiteral("document-save"));
}
QIcon ButtonIcons::Print()
{
    return Named(QStringLiteral("document-print"));
}
QIcon ButtonIcons::PrintPreview()
{
    return Named(QStringLiteral("document-print-preview"));
}
QIcon ButtonIcons::Cut()
{
    return Named(QStringLiteral("edit-cut"));
}
QIcon ButtonIcons::Copy()
{
    return Named(QStringLiteral("edit-copy"));
}
QIcon ButtonIcons::Paste()
{
    return Named(QStringLiteral("edit-paste"));
}
QIcon ButtonIcons::Delete()
{
    return Named(QStringLiteral("edit-delete"));
}
QIcon ButtonIcons::Settings()
{
    return Named(QStringLiteral("preferences-system"));
}
QIcon ButtonIcons::About()
{
    return Named(QStringLiteral("help-about"));
}

QIcon ProgramIcon()
{
    return render(paintProgram, {16, 24, 32, 48, 64, 128, 256});
}

} // namespace quarlo
