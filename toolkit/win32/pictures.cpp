#include "pictures.h"

#include <cstdint>
#include <vector>

namespace win32 {

namespace {

// Adds `picture`, scaled to `side` pixels by repeating its pixels, with its transparency
// as alpha and, for drawing without alpha, as a mask.
bool add(HIMAGELIST list, runtime::Picture picture, int side)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side; // top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP colour = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    // One bit a pixel, rows padded to 16 bits: set where the background shows.
    const int stride = (side + 15) / 16 * 2;
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(stride * side), 0);
    if (colour == nullptr)
        return false;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t argb = runtime::PicturePixel(picture, x * runtime::kPictureSide / side,
                                                             y * runtime::kPictureSide / side);
            const bool clear = (argb >> 24) == 0;
            // Opaque or clear only, so the colour needs no premultiplying by its alpha.
            pixels[y * side + x] = clear ? 0 : argb;
            if (clear)
                maskBits[static_cast<std::size_t>(y * stride + x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    HBITMAP mask = ::CreateBitmap(side, side, 1, 1, maskBits.data());
    const bool added = mask != nullptr && ::ImageList_Add(list, colour, mask) >= 0;
    if (mask != nullptr)
        ::DeleteObject(mask);
    ::DeleteObject(colour);
    return added;
}

HIMAGELIST make()
{
    const int side = ::GetSystemMetrics(SM_CXSMICON);
    HIMAGELIST list = ::ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 3, 0);
    if (list == nullptr)
        return nullptr;
    for (const auto picture :
         {runtime::Picture::Drive, runtime::Picture::FolderClosed, runtime::Picture::FolderOpen}) {
        if (!add(list, picture, side)) {
            ::ImageList_Destroy(list);
            return nullptr;
        }
    }
    return list;
}

} // namespace

HIMAGELIST Pictures()
{
    static const HIMAGELIST list = make();
    return list;
}

} // namespace win32
