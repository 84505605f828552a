#pragma once
// The daemon's main window: a dialog that is hidden at once and owns the
// tray icon; its commands start nothing but the exit.
#include "daemon/shell/dialog.h"
#include "daemon/shell/tray_icon.h"

class CZrDaemonDlg : public CDialog {
public:
    CZrDaemonDlg();

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void AddAboutToSystemMenu();
    void HideFromTaskbar();
    bool OnCommand(UINT id);
    bool OnPaint();
    LRESULT OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);

    HICON m_hIcon;
    // The template is visible, so the dialog manager shows the window once
    // initialisation is done; only command 1125 may show it.
    bool m_showAllowed = false;
    TrayIcon m_tray;
};
