#pragma once

#include "runtime/toolkit.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace toolkit {

/// Draws the frame that shows a list has the focus: the desktop's highlight colour around
/// its edge, so the focus can be seen from across the window, as platform styles show it.
/// Call it from a list's paint of its own frame, while it has the focus.
void DrawFocusFrame(QWidget* list);

/// A label; its caption is UTF-8 text with "\r\n" line breaks.
class QtLabel : public QLabel, public runtime::Label {
public:
    using QLabel::QLabel;
    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;

private:
    std::string m_caption;
};

/// A push button that is never the window's default: Enter presses it only while it has
/// the focus.
class QtPushButton : public QPushButton, public runtime::PushButton {
public:
    explicit QtPushButton(const QString& caption, QWidget* parent);
    void onClick(runtime::Event handler) override;
};

/// A picture box used as a panel: a flat frame with a single-line border that holds other
/// controls. It takes the focus, shows it with a focus rectangle, and is named for screen
/// readers by its first label.
class QtPanel : public QFrame, public runtime::Panel {
public:
    explicit QtPanel(QWidget* parent);
    bool isShown() const override { return !isHidden(); }
    void show() override { QFrame::show(); }
    void hide() override { QFrame::hide(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace toolkit
