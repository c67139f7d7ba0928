#pragma once

#include "toolkit/toolkit.h"

#include <QFrame>

namespace qt {

/// A picture box used as a panel: a flat frame with a single-line border that holds other
/// controls. It takes the focus, shows it with a focus rectangle, and is a group to screen
/// readers, named by its first label, which hears it appear when it is shown.
class Panel : public QFrame, public runtime::Panel {
    Q_OBJECT

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
