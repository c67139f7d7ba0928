#include "palette.h"

namespace win32 {

Palette::~Palette()
{
    for (const auto& [colour, brush] : m_brushes)
        ::DeleteObject(brush);
}

COLORREF Palette::colour(const runtime::Colour& colour, int fallback)
{
    switch (colour.kind) {
    case runtime::Colour::Kind::Rgb:
        return RGB((colour.value >> 16) & 0xFF, (colour.value >> 8) & 0xFF, colour.value & 0xFF);
    case runtime::Colour::Kind::System:
        return ::GetSysColor(static_cast<int>(colour.value));
    case runtime::Colour::Kind::Default:
        break;
    }
    return ::GetSysColor(fallback);
}

HBRUSH Palette::brush(const runtime::Colour& colour, int fallback)
{
    if (colour.kind == runtime::Colour::Kind::System)
        return ::GetSysColorBrush(static_cast<int>(colour.value));
    if (colour.kind == runtime::Colour::Kind::Default)
        return ::GetSysColorBrush(fallback);
    const COLORREF rgb = Palette::colour(colour, fallback);
    if (auto found = m_brushes.find(rgb); found != m_brushes.end())
        return found->second;
    HBRUSH made = ::CreateSolidBrush(rgb);
    m_brushes.emplace(rgb, made);
    return made;
}

} // namespace win32
