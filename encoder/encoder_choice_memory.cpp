#include "encoder/encoder_choice_memory.h"

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>

namespace {

const wchar_t kFolder[] = L"QvPush";
const wchar_t kFileName[] = L"encoder.txt";

// "<path>|<size>|<last write>": the FFmpeg file as it is; empty when it
// cannot be read.
std::wstring FileKey(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::wstring();
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return path + L"|" + std::to_wstring(size) + L"|" + std::to_wstring(written);
}

// The memory is UTF-8 text: the key line, then "encoder NAME" and
// "dropped NAME" lines.
std::string ToUtf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring LocalAppData() {
    wchar_t value[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", value, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return value;
    PWSTR known = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) folder = known;
    ::CoTaskMemFree(known);
    return folder;
}

}  // namespace

std::wstring EncoderChoiceMemoryFile() {
    const std::wstring base = LocalAppData();
    if (base.empty()) return std::wstring();
    return base + L"\\" + kFolder + L"\\" + kFileName;
}

CEncoderChoiceMemory::CEncoderChoiceMemory(const std::wstring& ffmpegPath)
    : m_file(EncoderChoiceMemoryFile()), m_key(FileKey(ffmpegPath)) {
    if (m_file.empty() || m_key.empty()) return;
    std::ifstream in(m_file.c_str(), std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || FromUtf8(line) != m_key) return;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string what, name;
        if (!(words >> what >> name)) continue;
        if (what == "encoder") m_encoder = FromUtf8(name);
        else if (what == "dropped") m_dropped.push_back(FromUtf8(name));
    }
}

bool CEncoderChoiceMemory::Dropped(const std::wstring& name) const {
    for (const std::wstring& dropped : m_dropped)
        if (dropped == name) return true;
    return false;
}

bool CEncoderChoiceMemory::Remember(const std::wstring& encoder) {
    m_encoder = encoder;
    return Save();
}

bool CEncoderChoiceMemory::Drop(const std::wstring& encoder) {
    m_encoder.clear();
    if (!Dropped(encoder)) m_dropped.push_back(encoder);
    return Save();
}

bool CEncoderChoiceMemory::Save() const {
    if (m_file.empty() || m_key.empty()) return false;
    const std::wstring folder = m_file.substr(0, m_file.find_last_of(L'\\'));
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // Written aside and moved into place, so that a QvShow.exe starting
    // meanwhile reads the old memory or the new one, never half of one.
    const std::wstring partial = m_file + L"." + std::to_wstring(::GetCurrentProcessId());
    {
        std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
        out << ToUtf8(m_key) << "\n";
        if (!m_encoder.empty()) out << "encoder " << ToUtf8(m_encoder) << "\n";
        for (const std::wstring& dropped : m_dropped) out << "dropped " << ToUtf8(dropped) << "\n";
        if (!out.flush()) {
            out.close();
            ::DeleteFileW(partial.c_str());
            return false;
        }
    }
    if (::MoveFileExW(partial.c_str(), m_file.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(partial.c_str());
    return false;
}
