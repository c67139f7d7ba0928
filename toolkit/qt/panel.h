#pragma once

#include "toolkit/toolkit.h"

#include <QFrame>

namespace qt {

/// A picture box used as a panel: a flat frame with a single-line border that holds other
/// controls. It takes the focus, shows it with a focus rectangle, and is named for screen
/// readers by its first label.
class Panel : public QFrame, public runtime::Panel {
public:
    explicit Panel(QWidget* parent);
    bool isShown() const override { return !isHidden(); }
    void show() override { QFrame::show(); }
    void hide() override { QFrame::hide(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace qt
