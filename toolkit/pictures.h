#pragma once

#include <cstdint>

namespace runtime {

/// The small fixed pictures the drive and folder lists show beside their entries. The
/// program carries them itself, so that no toolkit looks up an icon theme or the system's
/// image list for them: each toolkit turns them into its own images once, at first use.
enum class Picture { Drive, FolderClosed, FolderOpen };

/// Every picture is this many pixels wide and high at 96 dots per inch.
inline constexpr int kPictureSide = 16;

/// The colour of the pixel at `x`, `y` (from the top left, each in [0, kPictureSide)) of
/// `picture`, as 0xAARRGGBB: alpha 0 where the entry's background shows through, else 0xff.
/// Outside the picture the pixel is transparent.
std::uint32_t PicturePixel(Picture picture, int x, int y);

} // namespace runtime
