#pragma once

#include "toolkit/pictures.h"

#include <QIcon>

namespace qt {

/// `picture` as an icon, made from the program's own pixels: nothing is looked up in an
/// icon theme. The pixels are turned into an image once; each call makes a light icon of it.
QIcon PictureIcon(runtime::Picture picture);

} // namespace qt
