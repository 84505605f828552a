#include "installer/setup_helper/install_folder.h"

#include "installer/setup_helper/process_image.h"

#include <aclapi.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

const wchar_t kUserFfmpeg[] = L"ffmpeg.exe";
// What versions before the list installed.
const std::vector<std::wstring> kEarlierPayload = {L"QvPushServer.exe", L"QvShow.exe",        L"QvGraph.exe",
                                                   L"QvCamera.dll",     L"x86\\QvCamera.dll", L"ffmpeg-LICENSE.txt",
                                                   L"install.log",      L"uninstall.exe"};

void CollectFiles(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((folder + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(folder, relative + name + L"\\", files);
        } else {
            files.push_back(relative + name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// The list's lines (UTF-16, a byte-order mark allowed); empty when there
// is no list.
std::vector<std::wstring> ReadList(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::wstring> lines;
    const bool mark = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                      static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::wstring line;
    for (size_t i = mark ? 2 : 0; i + 1 < bytes.size(); i += 2) {
        const wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                               (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (c == L'\r' || c == L'\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool Listed(const std::vector<std::wstring>& list, const std::wstring& name) {
    for (const std::wstring& entry : list) {
        if (SameFileName(entry, name)) return true;
    }
    return false;
}

}  // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    CollectFiles(folder + L"\\", L"", files);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::wstring> ForeignFiles(const std::wstring& folder, bool registered) {
    const std::vector<std::wstring> files = FilesBelow(folder);
    std::vector<std::wstring> list = ReadList(folder + L"\\" + kInstalledFilesList);
    if (list.empty() && registered) list = kEarlierPayload;
    std::vector<std::wstring> foreign;
    for (const std::wstring& file : files) {
        const bool ours = !list.empty() && (Listed(list, file) || SameFileName(file, kInstalledFilesList) ||
                                            SameFileName(file, kUserFfmpeg));
        if (!ours) foreign.push_back(file);
    }
    return foreign;
}

DWORD ProtectFolder(const std::wstring& folder) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) return ::GetLastError();
    size = sizeof(system);
    if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size)) return ::GetLastError();
    size = sizeof(users);
    if (!::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size)) return ::GetLastError();

    const struct {
        void* sid;
        DWORD rights;
    } grants[] = {{administrators, GENERIC_ALL}, {system, GENERIC_ALL}, {users, GENERIC_READ | GENERIC_EXECUTE}};
    EXPLICIT_ACCESSW entries[3] = {};
    for (int i = 0; i < 3; ++i) {
        entries[i].grfAccessPermissions = grants[i].rights;
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        entries[i].Trustee.ptstrName = static_cast<LPWSTR>(grants[i].sid);
    }
    PACL acl = nullptr;
    DWORD error = ::SetEntriesInAclW(3, entries, nullptr, &acl);
    if (error != ERROR_SUCCESS) return error;
    // Whoever owns the folder may change its permissions: a folder that an
    // ordinary user made must not stay theirs.
    std::wstring path = folder;
    error = ::SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                        PROTECTED_DACL_SECURITY_INFORMATION,
                                    administrators, nullptr, acl, nullptr);
    ::LocalFree(acl);
    return error;
}
