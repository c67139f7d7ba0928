#include "pictures.h"

#include <array>

#include <QImage>
#include <QPixmap>

namespace qt {

namespace {

QImage imageOf(runtime::Picture picture)
{
    QImage image(runtime::kPictureSide, runtime::kPictureSide, QImage::Format_ARGB32);
    for (int y = 0; y < runtime::kPictureSide; ++y) {
        for (int x = 0; x < runtime::kPictureSide; ++x)
            image.setPixel(x, y, runtime::PicturePixel(picture, x, y));
    }
    return image;
}

} // namespace

QIcon PictureIcon(runtime::Picture picture)
{
    // Images, not pixmaps: they need no display, so they may outlive the application object.
    static const std::array<QImage, 3> images{imageOf(runtime::Picture::Drive),
                                              imageOf(runtime::Picture::FolderClosed),
                                              imageOf(runtime::Picture::FolderOpen)};
    return QIcon(QPixmap::fromImage(images[static_cast<std::size_t>(picture)]));
}

} // namespace qt
