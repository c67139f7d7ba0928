#pragma once

#include "control.h"
#include "runtime/file_services.h"
#include "runtime/toolkit.h"

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
              runtime::FileServices& files)
        : Control(definition, palette, container), m_files(files)
    {}

    bool build(HWND parent, int id) override;
    bool takesFocus() const override { return true; }
    void layout(int dpi, HFONT font) override;

    runtime::Drive currentDrive() const override;
    void setDrive(const std::string& path) override;
    void onChange(runtime::Event handler) override { m_change = std::move(handler); }

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

    void fill(const std::vector<runtime::Drive>& drives);
    int indexOf(const runtime::Drive& drive) const;
    int add(const runtime::Drive& drive);
    void commit(int row);
    void onDrawItem(const DRAWITEMSTRUCT& item);

    runtime::FileServices& m_files;
    std::vector<Entry> m_entries;
    int m_current{-1};
    runtime::Event m_change;
    HIMAGELIST m_icons{nullptr}; ///< the system's small icons: shared, never freed here
};

} // namespace win32
