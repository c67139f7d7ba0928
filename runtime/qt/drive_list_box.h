#pragma once

#include "runtime/actions.h"
#include "runtime/file_services.h"
#include "runtime/toolkit.h"

#include <string>
#include <vector>

#include <QComboBox>

namespace toolkit {

/// The drive list: a drop-down of the drives the services offer. It starts on the drive
/// of the folder the program was started in, so setting that drive raises nothing.
class DriveListBox : public QComboBox, public runtime::DriveList {
    Q_OBJECT

public:
    explicit DriveListBox(runtime::Actions& actions, QWidget* parent = nullptr);

    /// The current drive's name, as bytes; "" before one is set.
    std::string drive() const;
    /// The current drive; a drive with empty texts before one is set.
    runtime::Drive currentDrive() const override;

    /// Makes the drive that holds `path` current (only the drive at the start of the text
    /// counts). Raises change() before returning when that is a different drive. A failure
    /// of the services propagates and leaves the list as it was.
    void setDrive(const std::string& path) override;
    void onChange(runtime::Event handler) override;

signals:
    /// The current drive changed, by the user or by setDrive.
    void change();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
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
