#include "qt_controls.h"

#include "display_text.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace toolkit {

void DrawFocusFrame(QWidget* list)
{
    QPainter painter(list);
    QPen pen(list->palette().color(QPalette::Highlight));
    pen.setWidth(2);
    painter.setPen(pen);
    painter.drawRect(list->rect().adjusted(1, 1, -1, -1));
}

void QtLabel::setCaption(const std::string& text)
{
    m_caption = text;
    setText(DisplayText(text));
}

QtPushButton::QtPushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    // Enter presses a button only while it has the focus; no button is the default.
    setAutoDefault(true);
    setDefault(false);
}

void QtPushButton::onClick(runtime::Event handler)
{
    connect(this, &QPushButton::clicked, this, [handler = std::move(handler)] { handler(); });
}

QtPanel::QtPanel(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void QtPanel::paintEvent(QPaintEvent* event)
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

void QtPanel::focusInEvent(QFocusEvent* event)
{
    QFrame::focusInEvent(event);
    update();
}

void QtPanel::focusOutEvent(QFocusEvent* event)
{
    QFrame::focusOutEvent(event);
    update();
}

} // namespace toolkit
