#include "ui/SkullIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace quarlo {

QPixmap SkullPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit grid so the proportions hold at every size.
    painter.scale(size / 16.0, size / 16.0);

    const QColor bone(248, 246, 236);
    const QColor ink(30, 30, 30);

    QPainterPath head;
    head.addEllipse(QRectF(1.5, 0.8, 13.0, 11.6));
    QPainterPath jaw;
    jaw.addRoundedRect(QRectF(4.3, 9.0, 7.4, 6.2), 1.6, 1.6);
    const QPainterPath outline = head.united(jaw);
    painter.setPen(QPen(ink, 1.0));
    painter.setBrush(bone);
    painter.drawPath(outline);

    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(QRectF(3.6, 5.2, 3.6, 3.4));
    painter.drawEllipse(QRectF(8.8, 5.2, 3.6, 3.4));
    const QPointF nose[] = {{8.0, 9.0}, {7.0, 11.0}, {9.0, 11.0}};
    painter.drawPolygon(nose, 3);

    // Teeth: gaps in the jaw's lower half.
    painter.setPen(QPen(ink, 0.8));
    for (const double x : {6.3, 8.0, 9.7}) painter.drawLine(QPointF(x, 12.4), QPointF(x, 15.0));
    painter.end();
    return pixmap;
}

QIcon SkullIcon()
{
    QIcon icon;
    icon.addPixmap(SkullPixmap(16));
    icon.addPixmap(SkullPixmap(32));
    return icon;
}

} // namespace quarlo
