// The least a Win32 program can do to look like the tool at its start: the same warning box
// by MessageBoxW, then an empty window of the tool's client size, centred. The start rows of
// bench/run-wine measure the tool against this. Built a second time with the tool's icon and
// manifest (baseline_window_win.rc, ORVALIS_FLOOR_ICON), its window then carrying that icon.

#include <windows.h>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    ::MessageBoxW(nullptr,
                  L"WARNING!!! Please be sure that Orvalis has been\r\n"
                  L"shut down prior to continuing the upgrade process.",
                  L"Orvalis Upgrade", MB_OK | MB_ICONWARNING);

    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
#ifdef ORVALIS_FLOOR_ICON
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(ORVALIS_FLOOR_ICON));
#endif
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"BaselineWindow";
    ::RegisterClassW(&wc);
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, 6105 / 15, 4470 / 15};
    ::AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"Open Upgrade File From...", style,
                                    area.left + (area.right - area.left - width) / 2,
                                    area.top + (area.bottom - area.top - height) / 2, width, height, nullptr,
                                    nullptr, instance, nullptr);
    ::ShowWindow(window, SW_SHOW);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
