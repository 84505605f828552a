#include "daemon/shell/tray_menu.h"

#include "common/unique_handle.h"
#include "daemon/shell/dialog.h"
#include "daemon/shell/resource.h"

const wchar_t kExitMenuText[] = L"关闭退出";

namespace {

using UniqueMenu = UniqueHandleT<NullableHandleTraits<HMENU, ::DestroyMenu>>;

// The menu's host is made from the main window's template, which is visible.
// It is never shown: a window mapped and unmapped at once only flickers in
// the user's work area (and, under Wine, makes every menu wait for the
// window manager for two seconds).
class CTrayMenuHost : public CDialog {
public:
    CTrayMenuHost() : CDialog(IDD_ZRDAEMON_DIALOG) {}

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
};

}  // namespace

void ShowTrayMenu(HWND owner) {
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu.get()) return;
    ::AppendMenuW(menu.get(), MF_STRING, IDCANCEL, kExitMenuText);

    POINT cursor = {};
    ::GetCursorPos(&cursor);

    // A menu closes on a click elsewhere only while a window of its thread
    // is in the foreground; the main window is hidden, so a hidden host
    // window in the work area's corner takes that role.
    CTrayMenuHost host;
    if (host.Create(::GetDesktopWindow())) {
        RECT workArea = {};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
        ::SetWindowPos(host.GetSafeHwnd(), HWND_BOTTOM, workArea.right, workArea.bottom, 0, 0, SWP_HIDEWINDOW);
        ::SetForegroundWindow(host.GetSafeHwnd());
    }

    ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);

    // Known rule for menus of hidden windows: without a message after the
    // menu, the next menu may close at once.
    if (host.GetSafeHwnd()) ::PostMessageW(host.GetSafeHwnd(), WM_NULL, 0, 0);
}
