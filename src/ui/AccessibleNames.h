#pragma once

class QWidget;

namespace quarlo {

// Qt adds picture-only buttons of its own to tool bars, menu bars and docks
// (the "more" arrow of a bar that is too short, a dock's float and close
// buttons) without a tooltip or a name a screen reader could say. This gives
// each one below window both; call it once the window is built.
void NameBuiltInButtons(QWidget& window);

} // namespace quarlo
