#pragma once

#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

#include <QPushButton>

namespace qt {

/// A push button that is never the window's default: Enter presses it only while it has
/// the focus.
class PushButton : public QPushButton, public runtime::PushButton {
public:
    PushButton(const QString& caption, runtime::Actions& actions, QWidget* parent);
    void onClick(runtime::Event handler) override { m_click.bind(std::move(handler)); }

private:
    runtime::UserEvent<> m_click;
};

} // namespace qt
