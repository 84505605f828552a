#pragma once
// The application object: initialisation, the message loop and the exit
// routine, run in that order by Main.
#include <windows.h>

#include "common/non_copyable.h"

class CDialog;

class CWinAppEx : private CNonCopyable {
public:
    CWinAppEx() = default;
    virtual ~CWinAppEx() = default;

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
