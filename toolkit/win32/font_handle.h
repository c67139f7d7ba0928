#pragma once

#include <utility>
#include <windows.h>

namespace win32 {

/// One GDI font, deleted with the object.
class FontHandle {
public:
    FontHandle() = default;
    explicit FontHandle(const LOGFONTW& font) : m_font(::CreateFontIndirectW(&font)) {}
    ~FontHandle()
    {
        if (m_font != nullptr)
            ::DeleteObject(m_font);
    }
    FontHandle(FontHandle&& other) noexcept : m_font(std::exchange(other.m_font, nullptr)) {}
    FontHandle& operator=(FontHandle&& other) noexcept
    {
        std::swap(m_font, other.m_font);
        return *this;
    }
    FontHandle(const FontHandle&) = delete;
    FontHandle& operator=(const FontHandle&) = delete;

    HFONT get() const { return m_font; }

private:
    HFONT m_font{nullptr};
};

} // namespace win32
