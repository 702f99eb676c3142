#pragma once

#include <QColor>
#include <QString>

namespace quarlo {

// What one cell of the results grid shows. An invalid colour means the
// view's own.
struct GridCell {
    QString text;
    QColor color;
    bool bold = false;
    bool underline = false;
    int pointSize = 0; // 0: the view's font size
    QString toolTip;
    bool operator==(const GridCell&) const = default;
};

} // namespace quarlo
