#pragma once
// A small dialog class over the Win32 dialog manager: one object per dialog
// window, messages routed to virtual handlers of that object.
#include <windows.h>

#include "common/non_copyable.h"

class CDialog : private CNonCopyable {
public:
    explicit CDialog(UINT templateId);
    virtual ~CDialog();

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the window could not be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modelessly; the object destroys the window at the
    // latest in its destructor.
    bool Create(HWND parent);
    void DestroyWindow();
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // WM_INITDIALOG; TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    // Every message; return true with `result` set when handled. The base
    // ends a modal dialog on commands 1 (OK) and 2 (Cancel).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hWnd = nullptr;
    bool m_modal = false;
};
