#pragma once

#include "control.h"
#include "runtime/file_services.h"
#include "toolkit/drive_list_state.h"
#include "toolkit/toolkit.h"

#include <commctrl.h>
#include <string>
#include <vector>

namespace win32 {

/// The drive list: a drop-down list of the drives, each with its picture, its letter and
/// its label ("c: [system]"). It starts on the drive of the folder the program was started
/// in, and reads the drives again each time it drops down.
class DriveList : public Control, public runtime::DriveList {
public:
    DriveList(const runtime::ControlDefinition& definition, Palette& palette, Control* container,
              runtime::Actions& actions)
        : Control(definition, palette, container), m_state(actions, [this] { showState(); })
    {}

    bool build(HWND parent, int id) override;
    bool takesFocus() const override { return true; }
    void layout(int dpi, HFONT font) override;

    runtime::Drive currentDrive() const override { return m_state.currentDrive(); }
    void setDrive(const std::string& path) override { m_state.setDrive(path); }
    void onChange(runtime::Event handler) override { m_state.change.bind(std::move(handler)); }

    int count() const { return static_cast<int>(send(CB_GETCOUNT)); }
    int selected() const { return static_cast<int>(send(CB_GETCURSEL)); }
    /// The text shown for the entry in `row`.
    std::wstring entryText(int row) const;

protected:
    bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    struct Entry {
        runtime::Drive drive;
        std::wstring text;
        int icon{-1};
    };

    /// Shows the state's drives, with their labels and pictures, and its current one.
    void showState();
    Entry entryFor(const runtime::Drive& drive);
    void onDrawItem(const DRAWITEMSTRUCT& item);

    runtime::DriveListState m_state;
    std::vector<Entry> m_entries; ///< parallel to the state's drives
    HIMAGELIST m_icons{nullptr};  ///< the program's pictures: shared, never freed here
};

} // namespace win32
