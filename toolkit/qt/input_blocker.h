#pragma once

#include <QObject>

namespace qt {

/// Throws away every input event of the whole application while it lives: mouse, keys,
/// wheel, touch, and the window system's requests to close a window.
class InputBlocker : public QObject {
public:
    InputBlocker();
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace qt
