#include "tests/stand_ins/stand_in_record.h"

#include "common/unique_handle.h"

#include <cstdint>
#include <cstring>

namespace {

void PutText(std::string& bytes, const std::wstring& text) {
    uint32_t units = static_cast<uint32_t>(text.size());
    bytes.append(reinterpret_cast<const char*>(&units), sizeof(units));
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

bool TakeWord(const std::string& bytes, size_t& at, uint32_t& word) {
    if (bytes.size() - at < sizeof(word)) return false;
    memcpy(&word, bytes.data() + at, sizeof(word));
    at += sizeof(word);
    return true;
}

bool TakeText(const std::string& bytes, size_t& at, std::wstring& text) {
    uint32_t units = 0;
    if (!TakeWord(bytes, at, units)) return false;
    if ((bytes.size() - at) / sizeof(wchar_t) < units) return false;
    text.assign(units, L'\0');
    memcpy(&text[0], bytes.data() + at, units * sizeof(wchar_t));
    at += units * sizeof(wchar_t);
    return true;
}

}  // namespace

bool AppendStandInStart(const std::wstring& recordPath, const StandInStart& start) {
    std::string bytes;
    uint32_t id = start.m_processId;
    bytes.append(reinterpret_cast<const char*>(&id), sizeof(id));
    PutText(bytes, start.m_modulePath);
    PutText(bytes, start.m_commandLine);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // No sharing: a reader or another writer makes us wait our turn.
        HANDLE raw = ::CreateFileW(recordPath.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            ::Sleep(5);
            continue;
        }
        UniqueHandle file(raw);
        DWORD written = 0;
        return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    return false;
}

std::vector<StandInStart> ReadStandInStarts(const std::wstring& recordPath) {
    std::vector<StandInStart> starts;
    std::string bytes;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        HANDLE raw = ::CreateFileW(recordPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            if (::GetLastError() != ERROR_SHARING_VIOLATION) return starts;
            ::Sleep(5);
            continue;
        }
        UniqueHandle file(raw);
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
        break;
    }
    size_t at = 0;
    for (;;) {
        StandInStart start;
        uint32_t id = 0;
        if (!TakeWord(bytes, at, id) || !TakeText(bytes, at, start.m_modulePath) ||
            !TakeText(bytes, at, start.m_commandLine)) {
            break;
        }
        start.m_processId = id;
        starts.push_back(start);
    }
    return starts;
}
