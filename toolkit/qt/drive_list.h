#pragma once

#include "runtime/file_services.h"
#include "toolkit/actions.h"
#include "toolkit/drive_list_state.h"
#include "toolkit/toolkit.h"

#include <string>
#include <vector>

#include <QComboBox>

namespace qt {

/// The drive list: a drop-down of the drives the services offer. It starts on the drive
/// of the folder the program was started in, so setting that drive raises nothing.
class DriveList : public QComboBox, public runtime::DriveList {
    Q_OBJECT

public:
    explicit DriveList(runtime::Actions& actions, QWidget* parent = nullptr);

    /// The current drive's name, as bytes; "" before one is set.
    std::string drive() const { return m_state.currentDrive().name; }
    runtime::Drive currentDrive() const override { return m_state.currentDrive(); }
    void setDrive(const std::string& path) override;
    void onChange(runtime::Event handler) override { m_state.change.bind(std::move(handler)); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    /// Reads the drives again before dropping down, so a volume mounted meanwhile shows.
    void showPopup() override;

private:
    /// Shows the state's drives and its current one.
    void showState();

    runtime::DriveListState m_state;
};

} // namespace qt
