#pragma once

#include "handle_owner.h"
#include "palette.h"
#include "toolkit/form_definition.h"

#include <commctrl.h>
#include <string>

namespace win32 {

/// A window's device context with `font` chosen into it, for as long as the object lives:
/// the font it had is put back and the context given back to the window, once.
class FontDc {
public:
    FontDc(HWND hwnd, HFONT font) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)), m_old(::SelectObject(m_dc, font)) {}
    ~FontDc()
    {
        ::SelectObject(m_dc, m_old);
        ::ReleaseDC(m_hwnd, m_dc);
    }
    FontDc(const FontDc&) = delete;
    FontDc& operator=(const FontDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
    HGDIOBJ m_old;
};

/// A control of a window built from its definition: a child of the window or of a panel,
/// placed at its definition's twips at the window's dots per inch.
class Control : public HandleOwner {
public:
    /// `container` is the panel that holds it, or null for the window itself.
    Control(const runtime::ControlDefinition& definition, Palette& palette, Control* container);

    const runtime::ControlDefinition& definition() const { return m_definition; }
    Control* container() const { return m_container; }

    /// Makes the window as a child of `parent` with the control `id` (never IDOK or IDCANCEL,
    /// which the dialog manager sends for Enter and Escape). Returns false when it failed.
    virtual bool build(HWND parent, int id) = 0;

    /// Whether the focus may rest on it (labels: never).
    virtual bool takesFocus() const { return false; }

    /// Sets its font and places it for `dpi`; a label that sizes itself fits its caption.
    virtual void layout(int dpi, HFONT font);

    /// What its own children see behind them (panels; everything else: nothing to show).
    virtual HBRUSH backgroundBrush();

    /// The rectangle of the definition at `dpi`, relative to the container's client area.
    RECT definedRect(int dpi) const;

    static int scale(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

protected:
    /// What lies behind the control: the panel's colour, or the window's background.
    HBRUSH containerBrush();
    Palette& palette() { return m_palette; }
    DWORD childStyle() const;
    /// The height of a line of text in `font` on this control.
    int lineHeight(HFONT font) const;
    /// The height of an entry of a list that shows a picture from `icons` (or none) beside a
    /// line in `font`: the taller of the two, and a pixel above and below.
    int entryHeight(HFONT font, HIMAGELIST icons) const;
    /// Draws an entry of an owner-drawn list: its background, highlighted when selected,
    /// the picture `icon` of `icons` (none when -1) `indent` pixels in, the text cut short
    /// with an ellipsis where it does not fit, and the focus rectangle.
    void drawEntry(const DRAWITEMSTRUCT& item, int indent, HIMAGELIST icons, int icon,
                   const std::wstring& text);

private:
    const runtime::ControlDefinition& m_definition;
    Palette& m_palette;
    Control* m_container;
};

} // namespace win32
