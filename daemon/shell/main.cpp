#include "daemon/shell/zr_daemon_app.h"

#include <windows.h>

namespace {

CZrDaemonApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return theApp.Main(instance); }
