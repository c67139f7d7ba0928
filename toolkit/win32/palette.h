#pragma once

#include "toolkit/form_definition.h"

#include <map>
#include <windows.h>

namespace win32 {

/// Colours of a window definition as GDI colours and brushes. System colours are looked up
/// each time they are asked for, so a change of the system's colours shows at the next
/// paint; brushes of plain RGB colours are made once and freed with the palette.
class Palette {
public:
    Palette() = default;
    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;
    ~Palette();

    /// The colour, or the system colour `fallback` when the definition leaves it default.
    static COLORREF colour(const runtime::Colour& colour, int fallback);
    /// A brush of the colour; the palette or the system owns it, never the caller.
    HBRUSH brush(const runtime::Colour& colour, int fallback);

private:
    std::map<COLORREF, HBRUSH> m_brushes;
};

} // namespace win32
