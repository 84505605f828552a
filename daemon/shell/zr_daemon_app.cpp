#include "daemon/shell/zr_daemon_app.h"

#include "daemon/shell/zr_daemon_dlg.h"

#include <commctrl.h>

BOOL CZrDaemonApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    CZrDaemonDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // The dialog has ended: no message loop follows, exit code 0.
    return FALSE;
}
