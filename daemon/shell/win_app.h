#pragma once
// The application object: initialisation, the message loop and the exit
// routine, run in that order by Main.
#include <windows.h>

class CDialog;

class CWinAppEx {
public:
    CWinAppEx() = default;
    virtual ~CWinAppEx() = default;
    CWinAppEx(const CWinAppEx&) = delete;
    CWinAppEx& operator=(const CWinAppEx&) = delete;

    // Returns the process exit code: the message loop's when InitInstance
    // succeeds, otherwise ExitInstance's.
    int Main(HINSTANCE instance);

protected:
    // FALSE: no message loop follows.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Message loop until WM_QUIT; returns ExitInstance's result.
    virtual int Run();

    HINSTANCE m_hInstance = nullptr;
    CDialog* m_pMainWnd = nullptr;
};
