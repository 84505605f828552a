#include "daemon/shell/tray_icon.h"

#include <cwchar>

const wchar_t kTrayTip[] = L"Kavo直播高清插件";

// The shell tells the record's layout by cbSize; ours is the full record.
static_assert(sizeof(NOTIFYICONDATAW) == (sizeof(void*) == 4 ? 956 : 976), "unexpected NOTIFYICONDATAW layout");

UINT TaskbarCreatedMessage() {
    static const UINT s_message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return s_message;
}

void TrayIcon::Init(HWND owner, HICON icon) {
    m_record = NOTIFYICONDATAW{};
    m_record.cbSize = sizeof(m_record);
    m_record.hWnd = owner;
    m_record.uID = kTrayIconId;
    m_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_record.uCallbackMessage = WM_TRAY_NOTIFY;
    m_record.hIcon = icon;
    wcsncpy(m_record.szTip, kTrayTip, ARRAYSIZE(m_record.szTip) - 1);
}

bool TrayIcon::Add() { return ::Shell_NotifyIconW(NIM_ADD, &m_record) != FALSE; }

void TrayIcon::Remove() { ::Shell_NotifyIconW(NIM_DELETE, &m_record); }
