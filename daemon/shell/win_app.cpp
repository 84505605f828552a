#include "daemon/shell/win_app.h"

int CWinAppEx::Main(HINSTANCE instance) {
    m_hInstance = instance;
    if (!InitInstance()) return ExitInstance();
    return Run();
}

BOOL CWinAppEx::InitInstance() { return TRUE; }

int CWinAppEx::ExitInstance() { return 0; }

int CWinAppEx::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}
