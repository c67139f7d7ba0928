#include "control.h"

#include <algorithm>

namespace win32 {

Control::Control(const runtime::ControlDefinition& definition, Palette& palette, Control* container)
    : m_definition(definition), m_palette(palette), m_container(container)
{}

void Control::layout(int dpi, HFONT font)
{
    setFont(font);
    const RECT r = definedRect(dpi);
    place(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

int Control::lineHeight(HFONT font) const
{
    HDC dc = ::GetDC(handle());
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(handle(), dc);
    return metrics.tmHeight;
}

int Control::entryHeight(HFONT font, HIMAGELIST icons) const
{
    int iconWidth = 0;
    int iconHeight = 0;
    if (icons != nullptr)
        ::ImageList_GetIconSize(icons, &iconWidth, &iconHeight);
    return std::max(lineHeight(font), iconHeight) + 2;
}

HBRUSH Control::backgroundBrush()
{
    return containerBrush();
}

RECT Control::definedRect(int dpi) const
{
    const runtime::Twips& g = m_definition.geometry;
    return {scale(g.left, dpi), scale(g.top, dpi), scale(g.left + g.width, dpi),
            scale(g.top + g.height, dpi)};
}

HBRUSH Control::containerBrush()
{
    if (m_container != nullptr)
        return m_container->backgroundBrush();
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

DWORD Control::childStyle() const
{
    // Siblings never paint over one another: the one above in the z order wins.
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (m_definition.visible)
        style |= WS_VISIBLE;
    return style;
}

} // namespace win32
