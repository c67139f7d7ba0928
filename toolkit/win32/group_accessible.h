#pragma once

#include "accessible_object.h"

namespace win32 {

/// What a screen reader reads of a window that holds other controls as one group: the
/// system's object for the window with the role of a group, which a plain child window does
/// not have. Readers say a group's name as they reach what is in it, and hear it appear when
/// it is shown.
class GroupAccessible final : public AccessibleSlot {
private:
    AccessibleObject* make(HWND hwnd, IAccessible* system) override;
};

} // namespace win32
