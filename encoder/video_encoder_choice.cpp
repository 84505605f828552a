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

// The probe of one candidate: one second of a plain picture at the
// command's size and rate, encoded with the candidate's video options into
// nothing. An encoder whose device or driver is missing fails to open.
std::wstring ProbeCommandLine(const std::wstring& ffmpegPath, const VideoEncoderChoice& candidate,
                              const PublishCommand& command) {
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
    return JoinCommandLine(ffmpegPath, arguments);
}

struct RunningProbe {
    VideoEncoderChoice candidate;
    COwnedProcess process;  // empty when it could not start
};

// Exit code of a probe, STILL_ACTIVE when it did not end by `deadline`
// (its job ends it), or -1 when it never started.
DWORD ProbeResult(const RunningProbe& probe, DWORD started) {
    if (!probe.process.Started()) return static_cast<DWORD>(-1);
    const DWORD spent = ::GetTickCount() - started;
    const DWORD left = spent < kProbeTimeoutMs ? kProbeTimeoutMs - spent : 0;
    if (::WaitForSingleObject(probe.process.Handle(), left) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(probe.process.Handle(), &exitCode);
    return exitCode;
}

}  // namespace

bool ChoosesVideoEncoder(const PublishCommand& command) {
    return kPushLevelPresets[command.pushLevel].m_hardwareEncoderAllowed;
}

VideoEncoderChoice ChooseVideoEncoder(const std::wstring& ffmpegPath, const EncoderList& listed,
                                      const PublishCommand& command) {
    // All probes at once: under Wine each FFmpeg start costs seconds, and a
    // publish should not wait for three of them in a row.
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
    const HANDLE sink =
        ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    UniqueHandle nulOut(sink == INVALID_HANDLE_VALUE ? nullptr : sink);
    UniqueHandle nulIn = OpenNullInput();
    std::vector<RunningProbe> probes;
    for (const HardwareEncoder& encoder : kHardwareEncoders) {
        if (!listed.Lists(encoder.name)) continue;
        RunningProbe probe{{encoder.name, encoder.lowLatencyOptions, true}, {}};
        DWORD error = 0;
        if (nulOut && nulIn &&
            !StartContained(ProbeCommandLine(ffmpegPath, probe.candidate, command),
                            {nulIn.get(), nulOut.get(), nulOut.get()}, CREATE_NO_WINDOW, probe.process, error))
            probe.process.Reset();
        probes.push_back(std::move(probe));
    }
    const DWORD started = ::GetTickCount();
    for (const RunningProbe& probe : probes) {
        const DWORD result = ProbeResult(probe, started);
        if (result == 0) {
            PrintError(L"video encoder " + probe.candidate.name);
            return probe.candidate;  // the probes left behind end with their jobs
        }
        PrintError(probe.candidate.name + L" is listed but failed its probe (" +
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
