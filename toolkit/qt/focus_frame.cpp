#include "focus_frame.h"

#include <QPainter>
#include <QWidget>

namespace qt {

void DrawFocusFrame(QWidget* list)
{
    QPainter painter(list);
    QPen pen(list->palette().color(QPalette::Highlight));
    pen.setWidth(2);
    painter.setPen(pen);
    painter.drawRect(list->rect().adjusted(1, 1, -1, -1));
}

} // namespace qt
