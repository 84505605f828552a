#include "encoder/ffmpeg_arguments.h"

#include "common/push_levels.h"
#include "encoder/command_line_words.h"

#include <algorithm>

const wchar_t kRealTimeBufferSize[] = L"64M";
const wchar_t kIoTimeoutMicroseconds[] = L"20000000";

int SendBufferBytes(int pushLevel) {
    const PushLevelPreset& preset = kPushLevelPresets[pushLevel];
    const int bytesPerSecond = (preset.m_videoBitrateKbps + preset.m_audioBitrateKbps) * 1000 / 8;
    return std::max(bytesPerSecond / 2, 64 * 1024);
}

std::vector<std::wstring> BuildFfmpegArguments(const PublishCommand& command, bool hasLibaacplus) {
    std::vector<std::wstring> arguments = {L"-nostdin", L"-f", L"dshow", L"-rtbufsize", kRealTimeBufferSize};
    arguments.insert(arguments.end(), command.inputOptions.begin(), command.inputOptions.end());
    arguments.insert(arguments.end(), {L"-i", L"video=" + command.videoDevice + L":audio=" + command.audioDevice});
    for (size_t i = 0; i < command.encodingOptions.size(); ++i) {
        arguments.push_back(command.encodingOptions[i]);
        if (!hasLibaacplus && command.encodingOptions[i] == L"-c:a" && i + 1 < command.encodingOptions.size() &&
            command.encodingOptions[i + 1] == L"libaacplus") {
            arguments.push_back(L"aac");
            ++i;
        }
    }
    for (const wchar_t* option : {L"-f", L"flv", L"-rtmp_live", L"live", L"-rw_timeout", kIoTimeoutMicroseconds})
        arguments.push_back(option);
    arguments.insert(arguments.end(), {L"-send_buffer_size", std::to_wstring(SendBufferBytes(command.pushLevel))});
    arguments.push_back(command.streamUrl);
    return arguments;
}

std::wstring JoinCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(program);
    for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}
