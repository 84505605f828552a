#pragma once
// The daemon's icon in the notification area: one record, filled once, used
// for adding the icon and for removing it again.
#include <windows.h>

#include <shellapi.h>

#include "common/non_copyable.h"

// Callback message of the icon: wParam is the icon id, lParam the mouse message.
const UINT WM_TRAY_NOTIFY = WM_USER + 100;
const UINT kTrayIconId = 134;
extern const wchar_t kTrayTip[];

// Message the shell broadcasts when the taskbar has been (re)created.
UINT TaskbarCreatedMessage();

class TrayIcon : private CNonCopyable {
public:
    TrayIcon() = default;

    void Init(HWND owner, HICON icon);
    bool Add();
    void Remove();
    const NOTIFYICONDATAW& Record() const { return m_record; }

private:
    NOTIFYICONDATAW m_record = {};
};
