#include "drive_list_box.h"

#include "display_text.h"
#include "qt_controls.h"
#include "runtime/failure.h"

#include <filesystem>
#include <system_error>

#include <QEvent>
#include <QSignalBlocker>
#include <QStyle>

namespace toolkit {

DriveListBox::DriveListBox(runtime::Actions& actions, QWidget* parent)
    : QComboBox(parent), m_files(actions.files())
{
    setEditable(false);
    try {
        fill(m_files.drives());
    } catch (const runtime::Failure&) {
        // The list starts empty; setDrive adds the drive it is set to, and dropping the
        // list down tries again.
    }
    // The drive the program was started on is the one it shows first.
    std::error_code error;
    const std::filesystem::path started = std::filesystem::current_path(error);
    try {
        if (!error) {
            const runtime::Drive drive = m_files.driveOf(started.string());
            m_current = indexOf(drive) >= 0 ? indexOf(drive) : addDrive(drive);
        }
    } catch (const runtime::Failure&) {
        // No drive to start on: the first setDrive raises a change.
    }
    const QSignalBlocker quiet(this);
    setCurrentIndex(m_current);
    connect(this, &QComboBox::activated, this, &DriveListBox::onActivated);
}

void DriveListBox::onChange(runtime::Event handler)
{
    connect(this, &DriveListBox::change, this, [handler = std::move(handler)] { handler(); });
}

std::string DriveListBox::drive() const
{
    return m_current < 0 ? std::string() : m_drives[static_cast<std::size_t>(m_current)].name;
}

runtime::Drive DriveListBox::currentDrive() const
{
    return m_current < 0 ? runtime::Drive{} : m_drives[static_cast<std::size_t>(m_current)];
}

void DriveListBox::setDrive(const std::string& path)
{
    const runtime::Drive wanted = m_files.driveOf(path);
    int index = indexOf(wanted);
    if (index < 0)
        index = addDrive(wanted);
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(index);
    }
    if (index == m_current)
        return;
    m_current = index;
    emit change();
}

void DriveListBox::showPopup()
{
    try {
        fill(m_files.drives());
    } catch (const runtime::Failure&) {
        // No handler of the window covers dropping the list down; the drives read last stay.
    }
    QComboBox::showPopup();
}

void DriveListBox::fill(const std::vector<runtime::Drive>& drives)
{
    const runtime::Drive keep = currentDrive();
    const QSignalBlocker quiet(this);
    clear();
    m_drives.clear();
    for (const auto& drive : drives) {
        if (indexOf(drive) < 0)
            addDrive(drive);
    }
    // The current drive stays listed even when it has gone, so the list never jumps by itself.
    if (m_current >= 0) {
        m_current = indexOf(keep);
        if (m_current < 0)
            m_current = addDrive(keep);
    }
    setCurrentIndex(m_current);
}

int DriveListBox::indexOf(const runtime::Drive& drive) const
{
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        if (m_drives[i] == drive)
            return static_cast<int>(i);
    }
    return -1;
}

int DriveListBox::addDrive(const runtime::Drive& drive)
{
    const QByteArray bytes(drive.name.data(), static_cast<qsizetype>(drive.name.size()));
    m_drives.push_back(drive);
    addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), DisplayText(drive.name), bytes);
    return count() - 1;
}

void DriveListBox::onActivated(int index)
{
    if (index == m_current)
        return;
    m_current = index;
    emit change();
}

void DriveListBox::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    if (hasFocus())
        DrawFocusFrame(this);
}

void DriveListBox::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    update();
}

void DriveListBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    update();
}

} // namespace toolkit
