// QvShow.exe, the encoder the daemon starts: it takes the daemon's publish
// command line, fits it to the FFmpeg beside it (ffmpeg.exe in its own
// directory) and runs that FFmpeg for as long as QvShow.exe lives and no
// longer, passing its output on and ending it when the stream stops moving.
#include "common/child_exit_codes.h"
#include "encoder/command_line_words.h"
#include "encoder/console_text.h"
#include "encoder/contained_process.h"
#include "encoder/encoder_choice_memory.h"
#include "encoder/encoder_list.h"
#include "encoder/encoder_names_in_image.h"
#include "encoder/ffmpeg_arguments.h"
#include "encoder/output_relay.h"
#include "encoder/publish_command.h"
#include "encoder/stream_target.h"
#include "encoder/video_encoder_choice.h"

#include <windows.h>

#include <string>

namespace {

// How often the watchdog looks; the limit is checked to within this.
constexpr DWORD kWatchdogPeriodMs = 250;

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::wstring FfmpegBeside(const std::wstring& ownPath) {
    return ownPath.substr(0, ownPath.find_last_of(L'\\') + 1) + L"ffmpeg.exe";
}

// Encoder names are ASCII.
std::string ToNarrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Waits for FFmpeg to end; ends it when the watchdog expires. FFmpeg's exit
// code, or kExitNoProgress after the watchdog's line.
int SuperviseFfmpeg(COwnedProcess& child, COutputRelay& relay) {
    while (::WaitForSingleObject(child.Handle(), kWatchdogPeriodMs) == WAIT_TIMEOUT) {
        if (!relay.Expired()) continue;
        child.Terminate(kExitNoProgress);
        ::WaitForSingleObject(child.Handle(), 5000);
        // FFmpeg's last words first, then ours.
        relay.WaitForEnd(2000);
        const std::wstring limit = std::to_wstring(kNoProgressLimitMs / 1000) + L" s";
        PrintError(relay.ReachedServer()
                       ? L"no progress: FFmpeg reported no progress for " + limit + L"; it was ended"
                       : L"no progress: FFmpeg had not reached the server " + limit + L" after its start; it was ended");
        return kExitNoProgress;
    }
    relay.WaitForEnd(2000);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(child.Handle(), &exitCode);
    return static_cast<int>(exitCode);
}

}  // namespace

int wmain() {
    const std::wstring ownPath = OwnPath();
    PublishCommand command;
    std::wstring problem;
    if (!ParsePublishCommand(SplitCommandWords(OwnArgumentText(::GetCommandLineW(), ownPath)), command, problem)) {
        PrintError(L"refused, nothing started: " + problem);
        return kExitBadCommandLine;
    }
    if (!IsStreamTarget(command.streamUrl)) {
        PrintError(L"refused, nothing started: the target \"" + command.streamUrl +
                   L"\" is not an rtmp:// or rtmps:// address");
        return kExitBadCommandLine;
    }
    const std::wstring ffmpeg = FfmpegBeside(ownPath);
    if (!IsFile(ffmpeg)) {
        PrintError(L"no FFmpeg at " + ffmpeg + L": put a current ffmpeg.exe next to QvShow.exe");
        return kExitNoFfmpeg;
    }
    const bool choosesEncoder = ChoosesVideoEncoder(command);
    CEncoderChoiceMemory memory(choosesEncoder ? ffmpeg : std::wstring());
    const bool remembered = choosesEncoder && IsKnownVideoEncoder(memory.Remembered());
    EncoderList encoders;
    // The HD levels' sound is "aac" (never libaacplus), so a remembered
    // choice needs nothing from FFmpeg's encoder list.
    if (remembered || (!choosesEncoder && ImageShowsNoLibaacplus(ffmpeg)))
        encoders.ran = true;
    else
        encoders = ListEncoders(ffmpeg);
    if (!encoders.ran) {
        PrintError(encoders.problem);
        return kExitFfmpegUnusable;
    }
    VideoEncoderChoice choice;
    if (remembered) {
        choice = RememberedVideoEncoder(memory.Remembered());
        PrintError(L"video encoder " + choice.name + L" (remembered for this FFmpeg)");
    } else if (choosesEncoder) {
        choice = ChooseVideoEncoder(ffmpeg, encoders, command, memory);
        memory.Remember(choice.name);
    }
    if (choosesEncoder) ApplyVideoEncoder(choice, command);

    UniqueHandle nul = OpenNullInput();
    COutputRelay relay(::GetTickCount());
    // FFmpeg names an encoder's log lines "[h264_nvenc @ 0000...]" (and
    // "[vost#0:0/h264_nvenc @ ...]" in later builds): the mark of a failure
    // that lies with the encoder rather than with the camera or the server.
    if (choice.hardware) relay.WatchFor(ToNarrow(choice.name) + " @ ");
    COwnedProcess child;
    DWORD error = 0;
    const std::wstring line = JoinCommandLine(ffmpeg, BuildFfmpegArguments(command, encoders.hasLibaacplus));
    if (!nul) error = ::GetLastError();
    if (!nul || !relay.Open(error) ||
        !StartContained(line, {nul.get(), relay.WriteEnd(), relay.WriteEnd()}, 0, child, error)) {
        PrintError(L"FFmpeg at " + ffmpeg + L" could not be started in a job of its own (error " +
                   std::to_wstring(error) + L")");
        return kExitFfmpegNotStarted;
    }
    if (!relay.Start(error)) {
        child.Terminate(kExitFfmpegNotStarted);
        PrintError(L"FFmpeg's output cannot be read (error " + std::to_wstring(error) + L"); FFmpeg was ended");
        return kExitFfmpegNotStarted;
    }
    const int exitCode = SuperviseFfmpeg(child, relay);
    if (choice.hardware && exitCode != 0 && relay.Saw()) {
        memory.Drop(choice.name);
        PrintError(choice.name + L" failed while publishing; the next start goes without it");
    }
    return exitCode;
}
