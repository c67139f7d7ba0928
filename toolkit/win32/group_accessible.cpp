#include "group_accessible.h"

#include <new>

namespace win32 {

namespace {

/// The system's object for the window, passed through but for the role of the window itself.
class GroupObject final : public AccessibleObject {
public:
    using AccessibleObject::AccessibleObject;

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (role == nullptr)
            return E_POINTER;
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        if (child.vt != VT_I4 || child.lVal != CHILDID_SELF)
            return standard()->get_accRole(child, role);
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_GROUPING;
        return S_OK;
    }
};

} // namespace

AccessibleObject* GroupAccessible::make(HWND hwnd, IAccessible* system)
{
    return new (std::nothrow) GroupObject(hwnd, system);
}

} // namespace win32
