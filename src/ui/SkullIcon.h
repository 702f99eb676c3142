#pragma once

#include <QIcon>
#include <QPixmap>

namespace quarlo {

// The small skull that marks a blacklist server's row in the results grid,
// drawn rather than loaded so it stays sharp at any size.
QPixmap SkullPixmap(int size);
// The skull at 16 and 32 pixels. Callers keep it: no pixmap may outlive
// the application object, so there is no static cache.
QIcon SkullIcon();

} // namespace quarlo
