// Resource and command identifiers of QvPushServer; shared by the resource
// script and the code, so plain preprocessor definitions only.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ZRDAEMON_DIALOG 102
#define IDR_MAINFRAME 134

// System-menu command of the about box; the low four bits of system-menu
// commands belong to the system, so it is a multiple of 16.
#define IDM_ABOUTBOX 0x0010
// Command that shows the otherwise hidden main window.
#define IDM_SHOW_WINDOW 1125

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
