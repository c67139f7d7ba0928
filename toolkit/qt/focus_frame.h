#pragma once

class QWidget;

namespace qt {

/// Draws the frame that shows a list has the focus: the desktop's highlight colour around
/// its edge, so the focus can be seen from across the window, as platform styles show it.
/// Call it from a list's paint of its own frame, while it has the focus.
void DrawFocusFrame(QWidget* list);

} // namespace qt
