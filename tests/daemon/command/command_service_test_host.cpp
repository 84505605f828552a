// Test host of the command service: a console process that starts the
// service as the tray shell does and lets a test end the listener.
//
// The test signals the manual-reset event "QvCommandTestHost.StopListening.<pid>"
// to make the listener's accept fail, which runs the service's shutdown.
// The process itself runs until it is terminated.
#include "common/unique_handle.h"
#include "daemon/command/thread_main_service.h"
#include "daemon/shell/start_main_service.h"

#include <windows.h>

#include <string>

int wmain() {
    const std::wstring eventName = L"QvCommandTestHost.StopListening." + std::to_wstring(::GetCurrentProcessId());
    UniqueHandle stopListening(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    StartMainService();
    if (stopListening && ::WaitForSingleObject(stopListening.get(), INFINITE) == WAIT_OBJECT_0) StopListening();
    for (;;) ::Sleep(INFINITE);
}
