#include "encoder/encoder_list.h"

#include "encoder/contained_process.h"
#include "encoder/ffmpeg_arguments.h"

#include <sstream>

namespace {

// A healthy FFmpeg lists its encoders in well under a second; one that
// hangs is not one to publish with.
const DWORD kListTimeoutMs = 20000;

std::vector<std::wstring> EncoderNames(const std::string& listing) {
    // Lines of the list: " A..... libaacplus   description".
    std::vector<std::wstring> names;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string flags, encoder;
        if (words >> flags >> encoder && flags.size() == 6 && encoder != "=")
            names.push_back(std::wstring(encoder.begin(), encoder.end()));
    }
    return names;
}

}  // namespace

bool EncoderList::Lists(const std::wstring& name) const {
    for (const auto& listed : names)
        if (listed == name) return true;
    return false;
}

EncoderList ListEncoders(const std::wstring& ffmpegPath) {
    EncoderList list;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &sa, 0)) {
        list.problem = L"no pipe for FFmpeg's encoder list (error " + std::to_wstring(::GetLastError()) + L")";
        return list;
    }
    UniqueHandle readEnd(readRaw), writeEnd(writeRaw);
    UniqueHandle nul = OpenNullInput();
    COwnedProcess child;
    DWORD error = 0;
    if (!StartContained(JoinCommandLine(ffmpegPath, {L"-hide_banner", L"-encoders"}),
                        {nul.get(), writeEnd.get(), writeEnd.get()}, CREATE_NO_WINDOW, child, error)) {
        list.problem = L"FFmpeg at " + ffmpegPath + L" cannot run (error " + std::to_wstring(error) + L")";
        return list;
    }
    writeEnd.reset();
    std::string listing;
    char chunk[4096];
    DWORD n = 0;
    // The pipe breaks when FFmpeg ends; the job ends it if it hangs.
    const DWORD started = ::GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            if (::GetTickCount() - started > kListTimeoutMs) break;
            ::Sleep(5);
            continue;
        }
        if (!::ReadFile(readEnd.get(), chunk, sizeof(chunk), &n, nullptr) || n == 0) break;
        listing.append(chunk, n);
    }
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(child.Handle(), 2000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(child.Handle(), &exitCode);
    if (exitCode != 0 || listing.find("Encoders:") == std::string::npos) {
        list.problem = L"FFmpeg at " + ffmpegPath + L" did not list its encoders (" +
                       (exitCode == STILL_ACTIVE ? std::wstring(L"no answer in time")
                                                 : L"exit code " + std::to_wstring(exitCode)) +
                       L"); is it FFmpeg?";
        return list;
    }
    list.ran = true;
    list.names = EncoderNames(listing);
    list.hasLibaacplus = list.Lists(L"libaacplus");
    return list;
}
