#include "drive_list.h"

#include "display_text.h"
#include "focus_frame.h"
#include "pictures.h"
#include "runtime/failure.h"

#include <QEvent>
#include <QSignalBlocker>

namespace qt {

DriveList::DriveList(runtime::Actions& actions, QWidget* parent)
    : QComboBox(parent), m_state(actions, [this] { showState(); })
{
    setEditable(false);
    showState();
    // The state raises its change once the list shows the drive chosen.
    connect(this, &QComboBox::activated, this, [this](int row) { m_state.choose(row); });
}

void DriveList::setDrive(const std::string& path)
{
    m_state.setDrive(path);
}

void DriveList::showPopup()
{
    m_state.reread();
    QComboBox::showPopup();
}

void DriveList::showState()
{
    const QSignalBlocker quiet(this);
    const auto& drives = m_state.drives();
    bool same = count() == static_cast<int>(drives.size());
    for (int row = 0; same && row < count(); ++row)
        same = itemData(row).toByteArray() ==
               QByteArray::fromStdString(drives[static_cast<std::size_t>(row)].name);
    if (!same) {
        clear();
        const QIcon picture = PictureIcon(runtime::Picture::Drive);
        for (const auto& drive : drives)
            addItem(picture, DisplayText(drive.name), QByteArray::fromStdString(drive.name));
    }
    setCurrentIndex(m_state.current());
}

void DriveList::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    if (hasFocus())
        DrawFocusFrame(this);
}

void DriveList::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    update();
}

void DriveList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    update();
}

} // namespace qt
