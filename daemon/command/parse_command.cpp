#include "daemon/command/parse_command.h"

#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char kVideoDevicePrint[] = "m_videoDevice=%s$$\r\n\r\n";
const char kAudioDevicePrint[] = "m_audioDevice=%s$$$\r\n\r\n";

void DropLeadingNuls(char* buffer, int& held) {
    int n = 0;
    while (n < held && buffer[n] == '\0') ++n;
    if (n == 0) return;
    memmove(buffer, buffer + n, static_cast<size_t>(held - n));
    held -= n;
}

// Takes the next message; false (buffer unchanged) when no CR LF is held.
bool TakeMessage(char* buffer, int& held, std::string& line) {
    for (int i = 0; i + 1 < held; ++i) {
        if (buffer[i] != '\r' || buffer[i + 1] != '\n') continue;
        line.assign(buffer, static_cast<size_t>(i));
        int taken = i + 3;
        if (taken > held) taken = held;
        memmove(buffer, buffer + taken, static_cast<size_t>(held - taken));
        held -= taken;
        return true;
    }
    return false;
}

// The text between the first two double quotes behind the first occurrence
// of key; without a closing quote it runs to the end of the line.
bool FindValue(const std::wstring& line, const wchar_t* key, std::wstring& value) {
    size_t keyPos = line.find(key);
    if (keyPos == std::wstring::npos) return false;
    size_t open = line.find(L'"', keyPos + wcslen(key));
    if (open == std::wstring::npos) return false;
    size_t close = line.find(L'"', open + 1);
    value = line.substr(open + 1, close == std::wstring::npos ? std::wstring::npos : close - open - 1);
    return true;
}

// atoi with the C runtime's saturation on overflow, without its undefined behaviour.
int32_t ToInteger(const std::string& text) {
    long value = strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(value);
}

void ReadDevices(const std::wstring& line, RecvCmd& cmd, size_t videoDeviceUnits) {
    std::wstring value;
    if (FindValue(line, L"videoDevice", value)) {
        cmd.m_videoDevice = value.substr(0, videoDeviceUnits);
        PrintFormat(kVideoDevicePrint, WideToNarrow(cmd.m_videoDevice).c_str());
    }
    if (FindValue(line, L"audioDevice", value)) {
        cmd.m_audioDevice = value;
        PrintFormat(kAudioDevicePrint, WideToNarrow(cmd.m_audioDevice).c_str());
    }
}

}  // namespace

bool TakeCommandPortMessage(char* buffer, int& held, std::string& message) {
    DropLeadingNuls(buffer, held);
    return TakeMessage(buffer, held, message);
}

bool ParseCommand(char* buffer, int& held, RecvCmd& cmd) {
    std::string message;
    if (!TakeCommandPortMessage(buffer, held, message)) return false;
    return ParseCommandLine(NarrowToWide(message), cmd, kCommandPortVideoDeviceUnits);
}

bool ParseCommandLine(const std::wstring& line, RecvCmd& cmd, size_t videoDeviceUnits) {
    if (line.find(L'\0') != std::wstring::npos) return false;
    if (line.compare(0, 5, L"start") == 0) {
        cmd.m_strCmd = L"start";
        ReadDevices(line, cmd, videoDeviceUnits);
        std::wstring value;
        if (FindValue(line, L"streamUrl", value)) cmd.m_streamUrl = value;
        if (FindValue(line, L"pushLevel", value)) {
            cmd.m_pushLevel = ToInteger(WideToNarrow(value));
            cmd.m_pushLevelGiven = true;
        }
        return !cmd.m_videoDevice.empty() && !cmd.m_audioDevice.empty() && !cmd.m_streamUrl.empty();
    }
    if (line.find(L"stop") != std::wstring::npos) {
        cmd.m_strCmd = L"stop";
        cmd.m_videoDevice.clear();
        cmd.m_audioDevice.clear();
        return true;
    }
    if (line.find(L"previ") != std::wstring::npos) {
        cmd.m_strCmd = L"preview";
        ReadDevices(line, cmd, videoDeviceUnits);
        return !cmd.m_videoDevice.empty() && !cmd.m_audioDevice.empty();
    }
    return false;
}

std::wstring FirstLineOfMessage(const std::wstring& message) { return message.substr(0, message.find(L"\r\n")); }

bool ParseCommandMessage(const std::wstring& message, RecvCmd& cmd) {
    return ParseCommandLine(FirstLineOfMessage(message), cmd);
}
