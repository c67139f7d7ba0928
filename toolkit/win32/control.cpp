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
    const FontDc dc(handle(), font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
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

void Control::drawEntry(const DRAWITEMSTRUCT& item, int indent, HIMAGELIST icons, int icon,
                        const std::wstring& text)
{
    const bool chosen = (item.itemState & ODS_SELECTED) != 0;
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    ::FillRect(dc, &box,
               chosen ? ::GetSysColorBrush(COLOR_HIGHLIGHT)
                      : palette().brush(definition().back, COLOR_WINDOW));
    int x = box.left + 2 + indent;
    if (icons != nullptr && icon >= 0) {
        int width = 0;
        int height = 0;
        ::ImageList_GetIconSize(icons, &width, &height);
        ::ImageList_Draw(icons, icon, dc, x, box.top + (box.bottom - box.top - height) / 2, ILD_TRANSPARENT);
        x += width + 3;
    }
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, chosen ? ::GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : Palette::colour(definition().fore, COLOR_WINDOWTEXT));
    RECT textBox{x, box.top, box.right - 2, box.bottom};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textBox,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0)
        ::DrawFocusRect(dc, &box);
}

} // namespace win32
