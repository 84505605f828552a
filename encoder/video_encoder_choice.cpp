#include "encoder/video_encoder_choice.h"

#include "common/push_levels.h"
#include "encoder/console_text.h"
#include "encoder/contained_process.h"
#include "encoder/ffmpeg_arguments.h"

#include <iterator>

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

// What RTMP ingests want of a live stream, per encoder: a constant rate
// (Quick Sync takes CBR from -maxrate equal to -b:v) and no keyframe but
// the GOP's (a scene cut would put one in between and break the 2 s
// segment boundaries servers cut at).
std::vector<std::wstring> IngestOptions(const std::wstring& encoder) {
    if (encoder == L"h264_nvenc") return {L"-rc", L"cbr", L"-no-scenecut", L"1", L"-forced-idr", L"1"};
    if (encoder == L"h264_qsv") return {L"-adaptive_i", L"0", L"-forced_idr", L"1"};
    if (encoder == L"h264_amf") return {L"-rc", L"cbr"};
    return {L"-sc_threshold", L"0"};
}

// The pictures of the named exchange and of webcams are BT.601 limited
// range; untagged, players guess (BT.709 for HD sizes) and shift colours.
const wchar_t* const kColourTags[] = {L"-colorspace",     L"smpte170m", L"-color_primaries", L"smpte170m",
                                      L"-color_trc",      L"smpte170m", L"-color_range",     L"tv"};

// A keyframe at every 2 s of stream time, whatever the encoder's own GOP
// logic does after a dropped or duplicated frame.
const wchar_t kKeyframeEvery2s[] = L"expr:gte(t,n_forced*2)";

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

VideoEncoderChoice RememberedVideoEncoder(const std::wstring& name) {
    for (const HardwareEncoder& encoder : kHardwareEncoders)
        if (name == encoder.name) return {encoder.name, encoder.lowLatencyOptions, true};
    return {kSoftwareEncoder, {}, false};
}

bool IsKnownVideoEncoder(const std::wstring& name) {
    if (name == kSoftwareEncoder) return true;
    for (const HardwareEncoder& encoder : kHardwareEncoders)
        if (name == encoder.name) return true;
    return false;
}

VideoEncoderChoice ChooseVideoEncoder(const std::wstring& ffmpegPath, const EncoderList& listed,
                                      const PublishCommand& command, const CEncoderChoiceMemory& memory) {
    // All probes at once: under Wine each FFmpeg start costs seconds, and a
    // publish should not wait for three of them in a row.
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
    const HANDLE sink =
        ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    UniqueHandle nulOut(sink == INVALID_HANDLE_VALUE ? nullptr : sink);
    UniqueHandle nulIn = OpenNullInput();
    std::vector<RunningProbe> probes;
    for (const HardwareEncoder& encoder : kHardwareEncoders) {
        if (!listed.Lists(encoder.name) || memory.Dropped(encoder.name)) continue;
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
    const int bitrateKbps = kPushLevelPresets[command.pushLevel].m_videoBitrateKbps;
    std::vector<std::wstring> fitted;
    const std::vector<std::wstring>& options = command.encodingOptions;
    for (size_t i = 0; i < options.size(); ++i) {
        const bool hasValue = i + 1 < options.size();
        const std::wstring& option = options[i];
        if (hasValue && option == L"-c:v") {
            fitted.insert(fitted.end(), {L"-c:v", choice.name});
            fitted.insert(fitted.end(), choice.options.begin(), choice.options.end());
            const std::vector<std::wstring> ingest = IngestOptions(choice.name);
            fitted.insert(fitted.end(), ingest.begin(), ingest.end());
            ++i;
        } else if (hasValue && choice.hardware && (option == L"-preset" || option == L"-tune")) {
            ++i;  // libx264's alone
        } else if (hasValue && option == L"-pix_fmt") {
            // NV12 is what all three hardware encoders take natively.
            fitted.insert(fitted.end(), {L"-pix_fmt", choice.hardware ? L"nv12" : options[i + 1]});
            fitted.insert(fitted.end(), std::begin(kColourTags), std::end(kColourTags));
            ++i;
        } else if (hasValue && option == L"-b:v") {
            // A buffer of two seconds' worth at the level's rate as the cap.
            fitted.insert(fitted.end(), {option, options[i + 1], L"-maxrate", std::to_wstring(bitrateKbps) + L"k",
                                         L"-bufsize", std::to_wstring(2 * bitrateKbps) + L"k"});
            ++i;
        } else if (hasValue && option == L"-keyint_min") {
            fitted.insert(fitted.end(), {option, options[i + 1], L"-force_key_frames", kKeyframeEvery2s});
            ++i;
        } else {
            fitted.push_back(option);
        }
    }
    command.encodingOptions = fitted;
}
