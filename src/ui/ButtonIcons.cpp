#include "ui/ButtonIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace quarlo {
namespace {

QIcon draw(const std::function<void(QPainter&)>& paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void sheet(QPainter& p)
{
    QPainterPath page;
    page.moveTo(7, 3);
    page.lineTo(20, 3);
    page.lineTo(26, 9);
    page.lineTo(26, 29);
    page.lineTo(7, 29);
    page.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(20, 3), QPointF(20, 9));
    p.drawLine(QPointF(20, 9), QPointF(26, 9));
}

} // namespace

QIcon ButtonIcons::NewList()
{
    return draw([](QPainter& p) {
        sheet(p);
        p.setPen(QPen(QColor(120, 120, 120), 1.5));
        for (int y = 13; y <= 25; y += 4) p.drawLine(10, y, 23, y);
    });
}

QIcon ButtonIcons::AddAddresses()
{
    return draw([](QPainter& p) {
        sheet(p);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 140, 0));
        p.drawEllipse(QPointF(22, 23), 8, 8);
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(22, 18.5), QPointF(22, 27.5));
        p.drawLine(QPointF(17.5, 23), QPointF(26.5, 23));
    });
}

QIcon ButtonIcons::StartScan()
{
    return draw([](QPainter& p) {
        QPainterPath play;
        play.moveTo(9, 5);
        play.lineTo(27, 16);
        play.lineTo(9, 27);
        play.closeSubpath();
        p.setPen(QPen(QColor(0, 90, 0), 1.5));
        p.setBrush(QColor(40, 170, 40));
        p.drawPath(play);
    });
}

QIcon ButtonIcons::StopScan()
{
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(120, 0, 0), 1.5));
        p.setBrush(QColor(210, 30, 30));
        p.drawRoundedRect(QRectF(7, 7, 18, 18), 3, 3);
    });
}

} // namespace quarlo
