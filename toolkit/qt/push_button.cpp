#include "push_button.h"

namespace qt {

PushButton::PushButton(const QString& caption, runtime::Actions& actions, QWidget* parent)
    : QPushButton(caption, parent), m_click(actions)
{
    // Enter presses a button only while it has the focus; no button is the default.
    setAutoDefault(true);
    setDefault(false);
    connect(this, &QPushButton::clicked, this, [this] { m_click.raise(); });
}

} // namespace qt
