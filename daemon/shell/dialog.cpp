#include "daemon/shell/dialog.h"

namespace {

// Messages whose result a dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return true;
    default:
        return false;
    }
}

}  // namespace

CDialog::CDialog(UINT templateId) : m_templateId(templateId) {}

CDialog::~CDialog() { DestroyWindow(); }

INT_PTR CDialog::DoModal(HWND parent) {
    m_modal = true;
    INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent,
                                       &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

bool CDialog::Create(HWND parent) {
    m_modal = false;
    HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent,
                                       &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void CDialog::DestroyWindow() {
    if (m_hWnd && !m_modal) ::DestroyWindow(m_hWnd);
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hWnd && m_modal) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() { return TRUE; }

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        result = 0;
        return true;
    }
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    // Messages sent during creation, before WM_INITDIALOG, find no object
    // and get the default handling.
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        self->m_hWnd = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    }
    LRESULT result = 0;
    if (!self->OnMessage(message, wParam, lParam, result)) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
