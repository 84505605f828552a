#include "daemon/publisher/exit_reasons.h"

#include "daemon/publisher/image_names.h"

namespace {

struct CodeText {
    DWORD code;
    bool setup;
    const char* text;
};

const CodeText kEncoderCodes[] = {
    {2, true, "QvShow.exe refused the command line"},
    {3, true, "no ffmpeg.exe beside QvShow.exe"},
    {4, false, "QvShow.exe was ended"},
    {6, true, "ffmpeg.exe cannot be used"},
    {7, false, "FFmpeg could not be started"},
    {9, false, "no progress: FFmpeg reached nothing"},
};

const CodeText kBridgeCodes[] = {
    {2, true, "QvGraph.exe refused the command line"},
    {3, true, "no camera of that name"},
    {4, true, "the virtual camera cannot be its own source"},
    {5, false, "the camera cannot be opened (in use?)"},
    {6, false, "the camera was lost"},
    {7, true, "QvCamera is not registered"},
    {8, false, "COM or the capture graph failed"},
    {9, false, "camera stalled"},
};

template <size_t N>
const CodeText* Find(const CodeText (&table)[N], DWORD code) {
    for (const CodeText& entry : table)
        if (entry.code == code) return &entry;
    return nullptr;
}

const CodeText* Lookup(const std::wstring& imageName, DWORD code) {
    if (imageName == kEncoderImageName) return Find(kEncoderCodes, code);
    if (imageName == kBridgeImageName) return Find(kBridgeCodes, code);
    return nullptr;
}

}  // namespace

bool IsSetupFailure(const std::wstring& imageName, DWORD exitCode) {
    const CodeText* entry = Lookup(imageName, exitCode);
    return entry && entry->setup;
}

std::string ExitReason(const std::wstring& imageName, DWORD exitCode) {
    const CodeText* entry = Lookup(imageName, exitCode);
    if (entry) return entry->text;
    return (imageName == kEncoderImageName ? "FFmpeg ended with code " : "QvGraph.exe ended with code ") +
           std::to_string(static_cast<long>(exitCode));
}
