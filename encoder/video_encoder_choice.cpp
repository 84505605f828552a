#include "encoder/video_encoder_choice.h"

#include "common/push_levels.h"
#include "encoder/console_text.h"
#include "encoder/contained_process.h"
#include "encoder/ffmpeg_arguments.h"

namespace {

// A probe is one second of picture; an FFmpeg that takes this long with it
// is stuck in a driver, which is no encoder to publish with either.
const DWORD kProbeTimeoutMs = 15000;

struct HardwareEncoder {
    const wchar_t* name;
    std::vector<std::wstring> lowLatencyOptions;
};

// In order of preference.
const HardwareEncoder kHardwareEncoders[] = {
    {L"h264_nvenc", {L"-zerolatency", L"1"}},
    {L"h264_qsv", {L"-async_depth", L"1"}},
    {L"h264_amf", {L"-usage", L"ultralowlatency"}},
};

const wchar_t kSoftwareEncoder[] = L"libx264";

// Exit code of the probe, or STILL_ACTIVE when it ran out of time (the job
// ends it), or -1 when it could not start.
DWORD RunProbe(const std::wstring& ffmpegPath, const VideoEncoderChoice& candidate, const PublishCommand& command) {
    const PushLevelPreset& preset = kPushLevelPresets[command.pushLevel];
    const std::wstring source = L"color=c=gray:s=" + std::to_wstring(preset.m_width) + L"x" +
                                std::to_wstring(preset.m_height) + L":r=" + std::to_wstring(preset.m_frameRate) +
                                L":d=1";
    std::vector<std::wstring> arguments = {L"-hide_banner", L"-nostdin", L"-loglevel", L"error", L"-f", L"lavfi",
                                           L"-i", source};
    PublishCommand probe = command;
    ApplyVideoEncoder(candidate, probe);
    // Only the video options: the probe has no sound.
    for (size_t i = 0; i + 1 < probe.encodingOptions.size(); i += 2) {
        const std::wstring& option = probe.encodingOptions[i];
        if (option == L"-c:a" || option == L"-ar" || option == L"-ab") continue;
        arguments.push_back(option);
        arguments.push_back(probe.encodingOptions[i + 1]);
    }
    for (const wchar_t* word : {L"-f", L"null", L"-"}) arguments.push_back(word);

    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
    const HANDLE sink =
        ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    UniqueHandle nulOut(sink == INVALID_HANDLE_VALUE ? nullptr : sink);
    UniqueHandle nulIn = OpenNullInput();
    ContainedProcess child;
    DWORD error = 0;
    if (!nulOut || !nulIn ||
        !StartContained(JoinCommandLine(ffmpegPath, arguments), {nulIn.get(), nulOut.get(), nulOut.get()},
                        CREATE_NO_WINDOW, child, error))
        return static_cast<DWORD>(-1);
    if (::WaitForSingleObject(child.process.get(), kProbeTimeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(child.process.get(), &exitCode);
    return exitCode;
}

}  // namespace

bool ChoosesVideoEncoder(const PublishCommand& command) {
    return kPushLevelPresets[command.pushLevel].m_hardwareEncoderAllowed;
}

VideoEncoderChoice ChooseVideoEncoder(const std::wstring& ffmpegPath, const EncoderList& listed,
                                      const PublishCommand& command) {
    for (const HardwareEncoder& encoder : kHardwareEncoders) {
        if (!listed.Lists(encoder.name)) continue;
        VideoEncoderChoice candidate{encoder.name, encoder.lowLatencyOptions, true};
        const DWORD result = RunProbe(ffmpegPath, candidate, command);
        if (result == 0) {
            PrintError(L"video encoder " + candidate.name);
            return candidate;
        }
        PrintError(candidate.name + L" is listed but failed its probe (" +
                   (result == STILL_ACTIVE ? std::wstring(L"no end in time")
                                           : L"exit code " + std::to_wstring(static_cast<int>(result))) +
                   L")");
    }
    PrintError(std::wstring(L"video encoder ") + kSoftwareEncoder);
    return VideoEncoderChoice{kSoftwareEncoder, {}, false};
}

void ApplyVideoEncoder(const VideoEncoderChoice& choice, PublishCommand& command) {
    if (!choice.hardware) return;  // the daemon's options are libx264's
    std::vector<std::wstring> fitted;
    const std::vector<std::wstring>& options = command.encodingOptions;
    for (size_t i = 0; i < options.size(); ++i) {
        const bool hasValue = i + 1 < options.size();
        if (hasValue && options[i] == L"-c:v") {
            fitted.insert(fitted.end(), {L"-c:v", choice.name});
            fitted.insert(fitted.end(), choice.options.begin(), choice.options.end());
            ++i;
        } else if (hasValue && (options[i] == L"-preset" || options[i] == L"-tune")) {
            ++i;
        } else if (hasValue && options[i] == L"-pix_fmt") {
            fitted.insert(fitted.end(), {L"-pix_fmt", L"nv12"});  // what all three take natively
            ++i;
        } else {
            fitted.push_back(options[i]);
        }
    }
    command.encodingOptions = fitted;
}
