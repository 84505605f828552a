#include "tests/daemon/shell/screenshot.h"

#include "tests/support/child_process.h"

#include <windows.h>


namespace {

// Unix path of the directory, set by the build.
const char kArtifactDir[] = QV_TEST_ARTIFACT_DIR;

// The same file as seen from Windows: drive Z: is the Unix root.
std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + FromUtf8(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

}  // namespace

bool SaveScreenshot(const std::wstring& fileName, std::string* error) {
    std::string target = std::string(kArtifactDir) + "/" + ToUtf8(fileName);
    std::wstring windowsTarget = WindowsPath(target);
    ::DeleteFileW(windowsTarget.c_str());

    // Wine starts Unix programs too, but gives no handle to wait on; the
    // file appears by its final name only once it is complete.
    std::wstring line = L"/bin/sh -c \"mkdir -p '" + FromUtf8(kArtifactDir) + L"' && xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > '" +
                        FromUtf8(target) + L".part' && mv '" + FromUtf8(target) + L".part' '" + FromUtf8(target) + L"'\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        *error = "starting /bin/sh failed, error " + std::to_string(::GetLastError());
        return false;
    }
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);

    for (int i = 0; i < 400; ++i) {
        if (::GetFileAttributesW(windowsTarget.c_str()) != INVALID_FILE_ATTRIBUTES) {
            char signature[8] = {};
            DWORD got = 0;
            HANDLE file = ::CreateFileW(windowsTarget.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                ::ReadFile(file, signature, sizeof(signature), &got, nullptr);
                ::CloseHandle(file);
            }
            if (got == sizeof(signature) && std::string(signature, 8) == std::string("\x89PNG\r\n\x1a\n", 8)) return true;
            *error = target + " is not a PNG picture";
            return false;
        }
        ::Sleep(50);
    }
    *error = "no screenshot at " + target + " (are xwd, xwdtopnm and pnmtopng installed?)";
    return false;
}
