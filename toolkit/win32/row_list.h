#pragma once

#include "control.h"
#include "list_accessible.h"
#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

#include <string>

namespace win32 {

/// A list box that holds only how many rows it has (LBS_NODATA): the list keeps the rows'
/// texts as bytes and draws the rows in view from them, so a folder of many entries fills
/// at once. Having no texts of its own, the list box needs some of its messages answered
/// for it: LB_GETTEXT on the list's own thread, screen readers through ListAccessible, and
/// a typed letter, which goes to the next row that starts with it.
class RowList : public Control, private ListRows {
public:
    using Control::Control;

    /// Makes the list box: owner-drawn rows of a fixed height, the height of the definition
    /// (LBS_NOINTEGRALHEIGHT) rather than a whole number of rows, only the count of rows
    /// held (LBS_NODATA).
    bool build(HWND parent, int id) override;
    bool takesFocus() const override { return true; }

    int count() const { return static_cast<int>(send(LB_GETCOUNT)); }
    int selected() const { return static_cast<int>(send(LB_GETCURSEL)); }
    void select(int row) { send(LB_SETCURSEL, static_cast<WPARAM>(row)); }
    int caret() const { return static_cast<int>(send(LB_GETCARETINDEX)); }

protected:
    /// The event raised for a click: a row selected by the mouse, the keys or a typed letter.
    /// When `doubleClickOpens`, the release that ends a double click is no click: the list
    /// opens the row on the double click instead.
    void setClickEvent(runtime::UserEvent<>& click, bool doubleClickOpens = false)
    {
        m_click = &click;
        m_doubleClickOpens = doubleClickOpens;
    }
    /// Tells the click handler, when a row is selected.
    void raiseClick();

    /// The bytes shown in `row`, 0 <= row < rowCount().
    virtual const std::string& rowLabel(int row) const = 0;

    /// Tells the list box it now has `rows` rows, with `current` (if any) selected, and draws
    /// them afresh.
    void showRows(std::size_t rows, int current = -1);
    /// The row under `point`, in the list's coordinates as a mouse message carries them; -1
    /// for none.
    int rowAt(LPARAM point) const;
    /// Answers WM_GETOBJECT, LB_GETTEXT, LB_GETTEXTLEN and a typed letter (WM_CHAR), which
    /// selects the next row that starts with it, as a list without texts must; false for other
    /// messages.
    bool answerRowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    /// The mouse's part of a click: a press on the list, then the release over a selected row
    /// (also one selected before) is the click. Answers WM_LBUTTONDOWN, WM_LBUTTONDBLCLK and
    /// WM_LBUTTONUP, passing them on to the list box; false for other messages.
    bool answerMouseMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    /// A key went down: a release the list never saw does not hold the keys' clicks up.
    void forgetPress() { m_pressed = false; }
    /// The list box moved its selection (LBN_SELCHANGE): moved by the keys it is a click,
    /// raised here (true); moved by the mouse it waits for the release (false).
    bool selectionChanged();

    /// Draws one row (WM_DRAWITEM).
    virtual void onDrawItem(const DRAWITEMSTRUCT& item) = 0;
    /// Draws the rows, paints the list's background and takes a selection moved by the keys
    /// as a click.
    bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onDestroy() override { m_accessible.detach(); }

private:
    std::wstring rowText(int row) const final;
    LRESULT text(WPARAM row, wchar_t* buffer) const;

    runtime::UserEvent<>* m_click{nullptr};
    bool m_doubleClickOpens{false};
    bool m_pressed{false};              ///< a mouse button is down on the list: the release is the click
    bool m_afterOpen{false};            ///< the release that ends an opening double click is no click
    ListAccessible m_accessible{*this}; ///< what screen readers read of the rows
};

} // namespace win32
