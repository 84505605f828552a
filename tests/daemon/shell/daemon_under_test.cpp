#include "tests/daemon/shell/daemon_under_test.h"

#include "daemon/publisher/process_list.h"

#include <shellapi.h>

#include <atomic>

const wchar_t kMainCaption[] = L"Kavo直播伴侣";
const wchar_t kMutexName[] = L"ZrDaemon_{91F4C6B2-0E7D-4A35-B8C9-3D52E6A17F80}";

namespace {

const UINT kTrayMessage = WM_USER + 100;
const UINT kTrayIconId = 134;

// The stand-ins go under the names the daemon looks for.
struct CopiedFile {
    const wchar_t* source;
    const wchar_t* target;
};
const CopiedFile kCopiedFiles[] = {
    {L"QvPushServer.exe", L"QvPushServer.exe"},
    {L"stand_in_encoder.exe", L"QvShow.exe"},
    {L"stand_in_bridge.exe", L"QvGraph.exe"},
};

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const std::wstring* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (wcscmp(name, search->className) != 0) return TRUE;
    if (!search->caption->empty()) {
        wchar_t text[128] = {};
        ::GetWindowTextW(window, text, ARRAYSIZE(text));
        if (*search->caption != text) return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

}  // namespace

DaemonDirectory::DaemonDirectory() {
    static std::atomic<int> s_counter{0};
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    // Process ids repeat from one Wine session to the next, and a directory
    // that a dying process kept busy may be left over: take a free name.
    std::wstring base = std::wstring(temp) + L"qv-shell-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < 1000 && m_path.empty(); ++attempt) {
        std::wstring path = base + std::to_wstring(++s_counter) + L"\\";
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            m_path = path;
        } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return;
        }
    }
    if (m_path.empty()) return;
    for (const CopiedFile& file : kCopiedFiles) {
        if (!::CopyFileW((TestBinDir() + file.source).c_str(), (m_path + file.target).c_str(), FALSE)) return;
    }
    m_ready = true;
}

DaemonDirectory::~DaemonDirectory() {
    if (m_path.empty()) return;
    // Everything goes, the stand-ins' records too; a process that was just
    // terminated may hold its image a moment longer.
    for (int attempt = 0; attempt < 50; ++attempt) {
        WIN32_FIND_DATAW found = {};
        HANDLE search = ::FindFirstFileW((m_path + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((m_path + found.cFileName).c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        if (::RemoveDirectoryW(m_path.c_str())) return;
        ::Sleep(100);
    }
}

RunningDaemon::~RunningDaemon() {
    if (!m_process) return;
    if (Running()) {
        DWORD code = 0;
        if (!ExitFromTrayMenu(&code)) m_process->Terminate();
    }
}

bool RunningDaemon::Start(const DaemonDirectory& directory) {
    m_process = std::make_unique<DebuggeeProcess>();
    std::wstring program = directory.Path() + L"QvPushServer.exe";
    if (!m_process->Start(QuoteArgument(program), directory.Path())) {
        m_failure = "cannot start " + ToUtf8(program);
        return false;
    }
    DWORD processId = m_process->ProcessId();
    std::wstring caption = kMainCaption;
    // The main window is the first dialog of the process; the menu host
    // appears only while the tray menu is open.
    WaitFor(20000, [&] {
        std::vector<HWND> dialogs = WindowsOfProcess(processId, L"#32770", caption);
        if (dialogs.size() == 1) m_mainWindow = dialogs[0];
        return m_mainWindow != nullptr;
    });
    if (m_mainWindow) {
        // The window exists before its initialisation runs. Leaving the
        // taskbar comes after the icon and the instance check; a message
        // round trip then lets the initialisation return.
        bool initialised =
            WaitFor(10000, [&] { return (::GetWindowLongW(m_mainWindow, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; });
        LRESULT ignored = 0;
        if (initialised && SendAndGetResult(m_mainWindow, WM_NULL, 0, 0, &ignored)) return true;
        m_failure = "the main window's initialisation did not finish: it never left the taskbar (no WS_EX_TOOLWINDOW)";
        return false;
    }
    DWORD exitCode = 0;
    m_failure = "no main window \"Kavo直播伴侣\" appeared; the daemon ";
    m_failure += m_process->WaitForExit(0, &exitCode) ? "exited with code " + std::to_string(exitCode) : "still runs";
    for (const std::wstring& text : m_process->DebugTexts()) m_failure += "; debug text: " + ToUtf8(text);
    return false;
}

bool RunningDaemon::Running() { return m_process && !m_process->WaitForExit(0); }

void RunningDaemon::PostTrayCallback(WPARAM iconId, LPARAM mouseMessage) {
    ::PostMessageW(m_mainWindow, kTrayMessage, iconId, mouseMessage);
}

HWND RunningDaemon::OpenTrayMenu() {
    PostTrayCallback(kTrayIconId, WM_RBUTTONUP);
    return WaitForMenuWindow(m_process->ProcessId(), 10000);
}

bool RunningDaemon::ExitFromTrayMenu(DWORD* exitCode) {
    HWND menu = OpenTrayMenu();
    if (!menu) return false;
    // The menu loop of the daemon's thread reads these as keyboard input.
    ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    // Removing the tray icon takes the shell a few seconds.
    return m_process->WaitForExit(30000, exitCode);
}

std::vector<HWND> WindowsOfProcess(DWORD processId, const wchar_t* className, const std::wstring& caption) {
    WindowSearch search{processId, className, &caption, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForMenuWindow(DWORD processId, DWORD timeoutMs) {
    HWND menu = nullptr;
    WaitFor(timeoutMs, [&] {
        for (HWND window : WindowsOfProcess(processId, L"#32768", std::wstring()))
            if (::IsWindowVisible(window)) menu = window;
        return menu != nullptr;
    });
    return menu;
}

bool WaitUntil(DWORD timeoutMs, bool (*condition)(void*), void* context) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition(context)) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(50);
    }
}

namespace {

bool NotifyIcon(DWORD action, HWND window, UINT iconId) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = iconId;
    return ::Shell_NotifyIconW(action, &data) != FALSE;
}

}  // namespace

bool TrayIconExists(HWND window, UINT iconId) { return NotifyIcon(NIM_MODIFY, window, iconId); }

bool DeleteTrayIcon(HWND window, UINT iconId) { return NotifyIcon(NIM_DELETE, window, iconId); }

std::vector<UniqueHandle> OpenProcessesNamed(const std::wstring& imageName) {
    std::vector<UniqueHandle> processes;
    for (unsigned long id : ProcessIdsByName(imageName)) {
        HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        if (process) processes.emplace_back(process);
    }
    return processes;
}

void KillProcessesNamed(const std::wstring& imageName) {
    for (UniqueHandle& process : OpenProcessesNamed(imageName)) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

bool SendAndGetResult(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, UINT timeoutMs) {
    DWORD_PTR value = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &value)) return false;
    *result = static_cast<LRESULT>(value);
    return true;
}
