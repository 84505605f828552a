#include "daemon/shell/about_dlg.h"

#include "daemon/shell/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
