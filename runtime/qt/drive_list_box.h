#pragma once

#include "runtime/file_services.h"

#include <string>
#include <vector>

#include <QComboBox>

namespace toolkit {

/// The drive list: a drop-down of the drives the services offer. It starts with no current
/// drive, so the first setDrive always raises change().
class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    explicit DriveListBox(runtime::FileServices& files, QWidget* parent = nullptr);

    /// The current drive's name, as bytes; "" before one is set.
    std::string drive() const;
    /// The current drive; a drive with empty texts before one is set.
    runtime::Drive currentDrive() const;

    /// Makes the drive that holds `path` current (only the drive at the start of the text
    /// counts). Raises change() before returning when that is a different drive. A failure
    /// of the services propagates and leaves the list as it was.
    void setDrive(const std::string& path);

signals:
    /// The current drive changed, by the user or by setDrive.
    void change();

protected:
    /// Reads the drives again before dropping down, so a volume mounted meanwhile shows.
    void showPopup() override;

private:
    void fill(const std::vector<runtime::Drive>& drives);
    int indexOf(const runtime::Drive& drive) const;
    int addDrive(const runtime::Drive& drive);
    void onActivated(int index);

    runtime::FileServices& m_files;
    std::vector<runtime::Drive> m_drives; ///< parallel to the items
    int m_current{-1};
};

} // namespace toolkit
