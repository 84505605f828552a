#include "installer/setup_helper/install_folder.h"

#include "installer/setup_helper/folder_security.h"
#include "installer/setup_helper/process_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

const wchar_t* const kPayload[] = {L"QvPushServer.exe", L"QvShow.exe", L"QvGraph.exe", L"QvCamera.dll",
                                   L"x86\\QvCamera.dll"};
const wchar_t* const kAlwaysOurs[] = {L"install.log", L"ffmpeg.exe", L"ffmpeg-LICENSE.txt", L"ffmpeg-version.txt",
                                      kInstalledFilesList};
const wchar_t* const kInstallerWrites[] = {L"uninstall.exe", L"uninstall.dat"};
const wchar_t kX86Folder[] = L"x86";
const wchar_t kX86Camera[] = L"x86\\QvCamera.dll";
// What versions before the list installed.
const std::vector<std::wstring> kEarlierPayload = {L"QvPushServer.exe", L"QvShow.exe",        L"QvGraph.exe",
                                                   L"QvCamera.dll",     L"x86\\QvCamera.dll", L"ffmpeg-LICENSE.txt",
                                                   L"install.log",      L"uninstall.exe"};

bool OneOf(const std::wstring& name, const wchar_t* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (SameFileName(name, names[i])) return true;
    }
    return false;
}

bool Listed(const std::vector<std::wstring>& list, const std::wstring& name) {
    for (const std::wstring& entry : list) {
        if (SameFileName(entry, name)) return true;
    }
    return false;
}

// In name order, so that what is reported first is the same on every run.
void CollectEntries(const std::wstring& folder, const std::wstring& relative, std::vector<FolderEntry>& entries) {
    std::vector<FolderEntry> found;
    WIN32_FIND_DATAW data = {};
    HANDLE search = ::FindFirstFileW((folder + relative + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderEntry entry;
        entry.relative = relative + name;
        entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.trustedOwner = HasTrustedOwner(folder + entry.relative);
        found.push_back(entry);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    std::sort(found.begin(), found.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.relative < b.relative; });
    for (const FolderEntry& entry : found) {
        entries.push_back(entry);
        // Never through a junction: what lies behind it is not the folder.
        if (entry.directory && !entry.reparsePoint) CollectEntries(folder, entry.relative + L"\\", entries);
    }
}

}  // namespace

bool IsInstallerFileName(const std::wstring& relative) {
    for (const wchar_t* name : kPayload) {
        if (SameFileName(relative, name) || SameFileName(relative, std::wstring(name) + L".new")) return true;
    }
    return OneOf(relative, kAlwaysOurs, std::size(kAlwaysOurs)) ||
           OneOf(relative, kInstallerWrites, std::size(kInstallerWrites));
}

std::vector<FolderEntry> ReadFolderEntries(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return entries;
    FolderEntry top;
    top.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    top.reparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    top.trustedOwner = HasTrustedOwner(folder);
    entries.push_back(top);
    if (top.directory && !top.reparsePoint) CollectEntries(folder + L"\\", L"", entries);
    return entries;
}

std::vector<std::wstring> ReadInstalledList(const std::wstring& folder) {
    std::ifstream file((folder + L"\\" + kInstalledFilesList).c_str(), std::ios::binary);
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

std::vector<RefusedEntry> RefusedEntries(const std::vector<FolderEntry>& entries, std::vector<std::wstring> list,
                                         bool registered) {
    // A line that names anything but what the installer writes vouches for
    // nothing.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const std::wstring& line) { return !IsInstallerFileName(line); }),
               list.end());
    if (list.empty() && registered) list = kEarlierPayload;
    std::vector<RefusedEntry> refused;
    for (const FolderEntry& entry : entries) {
        const std::wstring shown = entry.directory && !entry.relative.empty() ? entry.relative + L"\\" : entry.relative;
        if (entry.reparsePoint) {
            refused.push_back({shown, Refusal::ReparsePoint});
        } else if (!entry.trustedOwner) {
            refused.push_back({shown, Refusal::Owner});
        } else if (entry.directory) {
            const bool ours = entry.relative.empty() || (SameFileName(entry.relative, kX86Folder) && Listed(list, kX86Camera));
            if (!ours) refused.push_back({shown, Refusal::NotOurs});
        } else {
            const bool ours = OneOf(entry.relative, kAlwaysOurs, std::size(kAlwaysOurs)) || Listed(list, entry.relative);
            if (!ours) refused.push_back({shown, Refusal::NotOurs});
        }
    }
    return refused;
}

std::vector<RefusedEntry> CheckFolder(const std::wstring& folder, bool registered) {
    return RefusedEntries(ReadFolderEntries(folder), ReadInstalledList(folder), registered);
}

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    for (const FolderEntry& entry : ReadFolderEntries(folder)) {
        if (!entry.directory) files.push_back(entry.relative);
    }
    std::sort(files.begin(), files.end());
    return files;
}

DWORD ProtectFolder(const std::wstring& folder) {
    const std::vector<FolderEntry> entries = ReadFolderEntries(folder);
    for (const FolderEntry& entry : entries) {
        if (entry.reparsePoint) return ERROR_REPARSE_TAG_INVALID;
    }
    // Whoever owns an object may change its permissions: nothing in the
    // folder may stay an ordinary user's, down to the last subfolder.
    for (const FolderEntry& entry : entries) {
        const DWORD error = ProtectObject(entry.relative.empty() ? folder : folder + L"\\" + entry.relative);
        if (error != ERROR_SUCCESS) return error;
    }
    return entries.empty() ? ERROR_PATH_NOT_FOUND : ERROR_SUCCESS;
}
