#pragma once
// The tray icon's popup menu with its one item, "关闭退出" (command 2).
#include <windows.h>

extern const wchar_t kExitMenuText[];

// Shows the menu at the cursor and returns when it has closed; a chosen
// item reaches `owner` as WM_COMMAND.
void ShowTrayMenu(HWND owner);
