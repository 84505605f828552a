#include "daemon/shell/zr_daemon_dlg.h"

#include "daemon/shell/about_dlg.h"
#include "daemon/shell/exit_sequence.h"
#include "daemon/shell/resource.h"
#include "daemon/shell/single_instance.h"
#include "daemon/shell/tray_menu.h"

#include <string>

CZrDaemonDlg::CZrDaemonDlg()
    : CDialog(IDD_ZRDAEMON_DIALOG), m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BOOL CZrDaemonDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AddAboutToSystemMenu();
    ::SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The notification area draws small icons; the small image of the group
    // stays sharp where a scaled-down large one would blur.
    HICON trayIcon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                     IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    m_tray.Init(GetSafeHwnd(), trayIcon);
    m_tray.Add();

    StartIfFirstInstance();
    HideFromTaskbar();
    return TRUE;
}

void CZrDaemonDlg::AddAboutToSystemMenu() {
    // LoadStringW with a zero length hands out a pointer to the resource text,
    // which is not NUL-terminated.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
    HMENU systemMenu = ::GetSystemMenu(GetSafeHwnd(), FALSE);
    if (length <= 0 || !systemMenu) return;
    std::wstring item(text, static_cast<size_t>(length));
    ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, item.c_str());
}

void CZrDaemonDlg::HideFromTaskbar() {
    HWND window = GetSafeHwnd();
    LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window, GWL_EXSTYLE, (exStyle & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);

    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    ::GetWindowPlacement(window, &placement);
    placement.flags = WPF_RESTORETOMAXIMIZED;
    placement.showCmd = SW_HIDE;
    ::SetWindowPlacement(window, &placement);
}

bool CZrDaemonDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
        CAboutDlg().DoModal(GetSafeHwnd());
        result = 0;
        return true;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_COMMAND:
        result = 0;
        return OnCommand(LOWORD(wParam));
    case WM_TRAY_NOTIFY:
        result = OnTrayNotify(wParam, lParam);
        return true;
    case WM_SIZE:
        // Minimizing would leave a caption bar on the desktop; the window
        // only ever hides.
        if (wParam == SIZE_MINIMIZED) ::ShowWindow(GetSafeHwnd(), SW_HIDE);
        return false;
    case WM_WINDOWPOSCHANGING:
        if (!m_showAllowed) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        return false;
    case WM_CLOSE:
        ::ShowWindow(GetSafeHwnd(), SW_HIDE);
        result = 0;
        return true;
    case WM_DESTROY:
        m_tray.Remove();
        return false;
    default:
        // After the shell restarts, its new taskbar knows no icons: add ours again.
        if (message == TaskbarCreatedMessage()) {
            m_tray.Add();
            result = 0;
            return true;
        }
        return false;
    }
}

bool CZrDaemonDlg::OnCommand(UINT id) {
    switch (id) {
    case IDOK:
        // Enter must not end the daemon.
        return true;
    case IDCANCEL:
        RunExitSequence();
        EndDialog(IDCANCEL);
        return true;
    case IDM_SHOW_WINDOW:
        m_showAllowed = true;
        ::ShowWindow(GetSafeHwnd(), SW_SHOWNORMAL);
        return true;
    default:
        return false;
    }
}

bool CZrDaemonDlg::OnPaint() {
    HWND window = GetSafeHwnd();
    if (!::IsIconic(window)) return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(window, &client);
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(window, &paint);
    return true;
}

LRESULT CZrDaemonDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != kTrayIconId) return 1;
    if (mouseMessage != WM_RBUTTONUP) return 0;
    ShowTrayMenu(GetSafeHwnd());
    return 0;
}
