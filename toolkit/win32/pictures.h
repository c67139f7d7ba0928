#pragma once

#include "toolkit/pictures.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

namespace win32 {

/// The lists' pictures as one image list, made at the first call from the program's own
/// pixels at the system's small icon size, and kept for the life of the process, as the
/// system's own image list is; never freed by its users. The index of a picture is its
/// value. Null when the system refused to make it: the lists then show no pictures.
HIMAGELIST Pictures();

inline int PictureIndex(runtime::Picture picture)
{
    return static_cast<int>(picture);
}

} // namespace win32
