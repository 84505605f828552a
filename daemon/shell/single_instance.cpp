#include "daemon/shell/single_instance.h"

#include "common/unique_handle.h"
#include "daemon/shell/start_main_service.h"
#include "daemon/text/diagnostics.h"

const wchar_t kSingleInstanceMutexName[] = L"ZrDaemon_{91F4C6B2-0E7D-4A35-B8C9-3D52E6A17F80}";

namespace {

// Debug texts, code page 936.
const char kMutexFailedText[] = "ZrDaemon_\xB4\xB4\xBD\xA8\xCE\xA8\xD2\xBB\xBB\xA5\xB3\xE2\xC1\xBF\xCA\xA7\xB0\xDC";  // 创建唯一互斥量失败
const char kAlreadyRunningText[] = "ZrDaemon_\xD2\xD1\xD3\xD0\xCA\xB5\xC0\xFD\xC6\xF4\xB6\xAF";  // 已有实例启动
const char kFirstInstanceText[] = "ZrDaemon_\xB5\xDA\xD2\xBB\xB8\xF6\xCA\xB5\xC0\xFD\xC6\xF4\xB6\xAF";  // 第一个实例启动

}  // namespace

void StartIfFirstInstance() {
    // Held until the process ends: later copies see it as long as this one runs.
    static UniqueHandle s_mutex;
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
    if (!mutex) {
        DebugText(std::string(kMutexFailedText));
        return;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        DebugText(std::string(kAlreadyRunningText));
        return;
    }
    s_mutex = std::move(mutex);
    DebugText(std::string(kFirstInstanceText));
    StartMainService();
}
