#pragma once
// The about box (dialog 100), opened from the main window's system menu.
#include "daemon/shell/dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
