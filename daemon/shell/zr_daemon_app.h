#pragma once
// The daemon's application: runs the main window modally, then ends.
#include "daemon/shell/win_app.h"

class CZrDaemonApp : public CWinAppEx {
protected:
    BOOL InitInstance() override;
};
