// QvShow.exe, the encoder the daemon starts: it takes the daemon's publish
// command line, fits it to the FFmpeg beside it (ffmpeg.exe in its own
// directory) and runs that FFmpeg with QvShow.exe's console as its own,
// for as long as QvShow.exe lives and no longer.
#include "encoder/command_line_words.h"
#include "encoder/console_text.h"
#include "encoder/contained_process.h"
#include "encoder/encoder_list.h"
#include "encoder/encoder_names_in_image.h"
#include "encoder/ffmpeg_arguments.h"
#include "encoder/publish_command.h"
#include "encoder/video_encoder_choice.h"

#include <windows.h>

#include <string>

namespace {

// Exit codes of QvShow.exe's own failures; once FFmpeg runs, its exit code
// is QvShow.exe's. (4 is left out: it is the daemon's kill code.)
enum : int {
    kBadCommandLine = 2,
    kNoFfmpeg = 3,
    kFfmpegUnusable = 6,
    kFfmpegNotStarted = 7,
};

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::wstring FfmpegBeside(const std::wstring& ownPath) {
    return ownPath.substr(0, ownPath.find_last_of(L'\\') + 1) + L"ffmpeg.exe";
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int wmain() {
    const std::wstring ownPath = OwnPath();
    PublishCommand command;
    std::wstring problem;
    if (!ParsePublishCommand(SplitCommandWords(OwnArgumentText(::GetCommandLineW(), ownPath)), command, problem)) {
        PrintError(L"refused, nothing started: " + problem);
        return kBadCommandLine;
    }
    const std::wstring ffmpeg = FfmpegBeside(ownPath);
    if (!IsFile(ffmpeg)) {
        PrintError(L"no FFmpeg at " + ffmpeg + L": put a current ffmpeg.exe next to QvShow.exe");
        return kNoFfmpeg;
    }
    EncoderList encoders;
    if (!ChoosesVideoEncoder(command) && ImageShowsNoLibaacplus(ffmpeg))
        encoders.ran = true;
    else
        encoders = ListEncoders(ffmpeg);
    if (!encoders.ran) {
        PrintError(encoders.problem);
        return kFfmpegUnusable;
    }
    if (ChoosesVideoEncoder(command)) ApplyVideoEncoder(ChooseVideoEncoder(ffmpeg, encoders, command), command);

    UniqueHandle nul = OpenNullInput();
    ContainedProcess child;
    DWORD error = 0;
    const std::wstring line = JoinCommandLine(ffmpeg, BuildFfmpegArguments(command, encoders.hasLibaacplus));
    if (!nul || !StartContained(line, {nul.get(), ::GetStdHandle(STD_OUTPUT_HANDLE), ::GetStdHandle(STD_ERROR_HANDLE)},
                                0, child, error)) {
        PrintError(L"FFmpeg at " + ffmpeg + L" could not be started in a job of its own (error " +
                   std::to_wstring(nul ? error : ::GetLastError()) + L")");
        return kFfmpegNotStarted;
    }
    ::WaitForSingleObject(child.process.get(), INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(child.process.get(), &exitCode);
    return static_cast<int>(exitCode);
}
