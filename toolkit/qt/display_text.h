#pragma once

#include <string>

#include <QPalette>
#include <QString>

namespace qt {

/// Text for the screen from program text or bytes of a name: decoded as the system's file
/// names are, with each "\r\n" shown as one line break.
QString DisplayText(const std::string& text);

/// The palette role that stands for a system colour by its index (5 window background,
/// 8 window text, 10 active window border), so that the colour is taken from the
/// desktop's palette whenever the control is drawn.
QPalette::ColorRole SystemColourRole(int index);

} // namespace qt
