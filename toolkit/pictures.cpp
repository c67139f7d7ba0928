#include "pictures.h"

#include <string>

namespace runtime {

namespace {

// One character a pixel: ' ' lets the background through; the others name colours.
constexpr const char* kDrive[kPictureSide] = {
    "                ", //
    "                ", //
    "                ", //
    "                ", //
    "  kkkkkkkkkkkk  ", //
    " kwwwwwwwwwwwwk ", //
    " kwllllllllllgk ", //
    " kwllllllllllgk ", //
    " kwllllllllllgk ", //
    " kwllllllllllgk ", //
    " kwlddddddllGgk ", //
    " kwllllllllllgk ", //
    " kggggggggggggk ", //
    "  kkkkkkkkkkkk  ", //
    "                ", //
    "                ", //
};

constexpr const char* kFolderClosed[kPictureSide] = {
    "                ", //
    "                ", //
    "  kkkkk         ", //
    " kwyyyyk        ", //
    " kyyyyyykkkkkkk ", //
    " kwwwwwwwwwwwwok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " kwyyyyyyyyyyyok", //
    " koooooooooooook", //
    "  kkkkkkkkkkkkkk", //
    "                ", //
};

constexpr const char* kFolderOpen[kPictureSide] = {
    "                ", //
    "                ", //
    "  kkkkk         ", //
    " kwyyyyk        ", //
    " kyyyyyykkkkkk  ", //
    " kyyyyyyyyyyyok ", //
    " kyykkkkkkkkkkkk", //
    " kyk wwwwwwwwwwk", //
    " kykwyyyyyyyyyok", //
    " kkwyyyyyyyyyok ", //
    " kkwyyyyyyyyyok ", //
    " kwyyyyyyyyyyok ", //
    " kwyyyyyyyyyok  ", //
    " kooooooooooook ", //
    "  kkkkkkkkkkkkk ", //
    "                ", //
};

// A row shorter than the side would be read past its end.
constexpr bool square(const char* const (&rows)[kPictureSide])
{
    for (const char* row : rows) {
        if (std::char_traits<char>::length(row) != kPictureSide)
            return false;
    }
    return true;
}
static_assert(square(kDrive) && square(kFolderClosed) && square(kFolderOpen));

std::uint32_t colourOf(char c)
{
    switch (c) {
    case 'k':
        return 0xff000000; // outline
    case 'w':
        return 0xffffffff; // light edge
    case 'l':
        return 0xffc0c0c0; // face
    case 'g':
        return 0xff808080; // shaded edge
    case 'd':
        return 0xff404040; // slot
    case 'G':
        return 0xff00c000; // light
    case 'y':
        return 0xffffe080; // folder
    case 'o':
        return 0xffb08000; // folder's shade
    default:
        return 0x00000000;
    }
}

} // namespace

std::uint32_t PicturePixel(Picture picture, int x, int y)
{
    if (x < 0 || y < 0 || x >= kPictureSide || y >= kPictureSide)
        return 0;
    const char* const* rows = picture == Picture::Drive          ? kDrive
                              : picture == Picture::FolderClosed ? kFolderClosed
                                                                 : kFolderOpen;
    return colourOf(rows[y][x]);
}

} // namespace runtime
