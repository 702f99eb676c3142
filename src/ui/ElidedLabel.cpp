#include "ui/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace quarlo {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QSize full = QLabel::minimumSizeHint();
    const int width = fontMetrics().averageCharWidth() * minimumCharacters_ + 2 * margin();
    return {std::min(width, full.width()), full.height()};
}

QSize ElidedLabel::sizeHint() const
{
    // The whole text when there is room; the layout gives it less otherwise.
    return QLabel::sizeHint();
}

QString ElidedLabel::ShownText() const
{
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    return fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
}

bool ElidedLabel::IsElided() const
{
    return !text().isEmpty() && ShownText() != text();
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, room, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

bool ElidedLabel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && IsElided()) {
        const QString own = toolTip();
        const QString tip = own.isEmpty() || own == text() ? text() : text() + QLatin1Char('\n') + own;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace quarlo
