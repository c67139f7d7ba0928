#include "panel.h"

#include "accessible.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace qt {

Panel::Panel(QWidget* parent) : QFrame(parent)
{
    InstallAccessibleFactory();
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void Panel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(3, 3, -3, -3);
    option.backgroundColor = palette().color(backgroundRole());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void Panel::focusInEvent(QFocusEvent* event)
{
    QFrame::focusInEvent(event);
    update();
}

void Panel::focusOutEvent(QFocusEvent* event)
{
    QFrame::focusOutEvent(event);
    update();
}

} // namespace qt
