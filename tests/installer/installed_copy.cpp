#include "tests/installer/installed_copy.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/unique_handle.h"
#include "tests/camera/module/device_registry.h"

namespace {

const wchar_t kVideoInputInstances[] = L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";
const USHORT kCommandPort = 19723;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::wstring DefaultInstallFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(L"%ProgramW6432%\\QvPush", folder, MAX_PATH);
    return folder;
}

SetupRun RunSetup(const std::wstring& program, const std::wstring& arguments) {
    const auto start = std::chrono::steady_clock::now();
    SetupRun setup;
    setup.run = RunProgram(QuoteArgument(program) + L" " + arguments, 180000);
    setup.seconds = SecondsSince(start);
    return setup;
}

SetupRun RunSetupWithoutElevation(const std::wstring& program, const std::wstring& arguments) {
    SetupRun setup;
    UniqueHandle own;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    UniqueHandle primary;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put()) ||
        !::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof(linked), &size))
        return setup;
    UniqueHandle linkedToken(linked.LinkedToken);
    if (!::DuplicateTokenEx(linkedToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put()))
        return setup;
    std::wstring commandLine = QuoteArgument(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const auto start = std::chrono::steady_clock::now();
    if (!::CreateProcessAsUserW(primary.get(), program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info))
        return setup;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    setup.run.started = true;
    if (::WaitForSingleObject(process.get(), 180000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 1);
        setup.run.timedOut = true;
    }
    ::GetExitCodeProcess(process.get(), &setup.run.exitCode);
    setup.seconds = SecondsSince(start);
    return setup;
}

SetupRun RunQuietUninstall() {
    std::wstring command;
    SetupRun setup;
    if (!ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", command)) return setup;
    const auto start = std::chrono::steady_clock::now();
    setup.run = RunProgram(command, 180000);
    setup.seconds = SecondsSince(start);
    return setup;
}

FolderWatch::FolderWatch(const std::wstring& folder)
    : m_folder(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
      m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (m_folder != INVALID_HANDLE_VALUE) m_thread = std::thread(&FolderWatch::Watch, this);
}

FolderWatch::~FolderWatch() {
    Made();
    if (m_folder != INVALID_HANDLE_VALUE) ::CloseHandle(m_folder);
    ::CloseHandle(m_stop);
}

bool FolderWatch::Watching() const { return m_folder != INVALID_HANDLE_VALUE; }

std::vector<std::wstring> FolderWatch::Made() {
    ::SetEvent(m_stop);
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_made;
}

void FolderWatch::Watch() {
    UniqueHandle changed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    alignas(DWORD) BYTE buffer[64 * 1024];
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = changed.get();
        ::ResetEvent(changed.get());
        if (!::ReadDirectoryChangesW(m_folder, buffer, sizeof(buffer), TRUE,
                                     FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &overlapped,
                                     nullptr))
            return;
        const HANDLE events[] = {changed.get(), m_stop};
        const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
        DWORD size = 0;
        if (woken != WAIT_OBJECT_0) {
            ::CancelIoEx(m_folder, &overlapped);
            ::GetOverlappedResult(m_folder, &overlapped, &size, TRUE);
            return;
        }
        if (!::GetOverlappedResult(m_folder, &overlapped, &size, FALSE)) return;
        std::lock_guard<std::mutex> guard(m_mutex);
        for (DWORD offset = 0; size != 0;) {
            const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
            if (entry->Action == FILE_ACTION_ADDED || entry->Action == FILE_ACTION_RENAMED_NEW_NAME)
                m_made.emplace_back(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (entry->NextEntryOffset == 0) break;
            offset += entry->NextEntryOffset;
        }
    }
}

bool FolderExists(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string ReadInstallLog(const std::wstring& folder) {
    const std::vector<BYTE> bytes = ReadFileBytes(folder + L"\\install.log");
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return std::string();
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::copy(bytes.begin() + 2, bytes.begin() + 2 + text.size() * 2, reinterpret_cast<BYTE*>(&text[0]));
    return ToUtf8(text);
}

bool ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring& text) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return false;
    text = buffer;
    return true;
}

bool ReadRegistryDword(HKEY root, const std::wstring& key, const wchar_t* value, DWORD& number) {
    DWORD size = sizeof(number);
    return ::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &number,
                          &size) == ERROR_SUCCESS;
}

bool RegistryKeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

std::vector<std::wstring> VideoInputInstancesOf(REFCLSID clsid) {
    std::vector<std::wstring> matching;
    HKEY instances = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kVideoInputInstances, 0, KEY_READ, &instances) !=
        ERROR_SUCCESS)
        return matching;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(instances, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::wstring value;
        if (ReadRegistryString(HKEY_CLASSES_ROOT, std::wstring(kVideoInputInstances) + L"\\" + name, L"CLSID", value) &&
            _wcsicmp(value.c_str(), GuidText(clsid).c_str()) == 0)
            matching.push_back(name);
    }
    ::RegCloseKey(instances);
    return matching;
}

std::vector<RunningProgram> RunningPrograms(const wchar_t* imageName) {
    std::vector<RunningProgram> programs;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (imageName && _wcsicmp(entry.szExeFile, imageName) != 0) continue;
        RunningProgram program{entry.th32ProcessID, L""};
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &length)) program.image = image;
        programs.push_back(program);
    }
    return programs;
}

bool StartDetached(const std::wstring& program, const std::wstring& argument) {
    std::wstring commandLine = QuoteArgument(program);
    if (!argument.empty()) commandLine += L" " + QuoteArgument(argument);
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                          folder.c_str(), &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

std::string ReadGreeting(DWORD timeoutMs) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    std::string greeting;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    do {
        SOCKET client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(kCommandPort);
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        const DWORD receiveTimeoutMs = 5000;
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeoutMs),
                     sizeof(receiveTimeoutMs));
        if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            char byte = 0;
            while (::recv(client, &byte, 1, 0) == 1 && byte != '\0') greeting.push_back(byte);
            ::closesocket(client);
            break;
        }
        ::closesocket(client);
        ::Sleep(250);
    } while (::GetTickCount64() < deadline);
    ::WSACleanup();
    return greeting;
}

