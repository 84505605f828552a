#include "daemon/publisher/exit_reasons.h"

#include "common/child_exit_codes.h"
#include "daemon/publisher/image_names.h"

namespace {

template <size_t N>
const ChildExitText* Find(const ChildExitText (&table)[N], DWORD code) {
    for (const ChildExitText& entry : table)
        if (static_cast<DWORD>(entry.code) == code) return &entry;
    return nullptr;
}

const ChildExitText* Lookup(const std::wstring& imageName, DWORD code) {
    if (imageName == kEncoderImageName) return Find(kEncoderExitTexts, code);
    if (imageName == kBridgeImageName) return Find(kBridgeExitTexts, code);
    return nullptr;
}

std::string Narrow(const std::wstring& imageName) { return std::string(imageName.begin(), imageName.end()); }

}  // namespace

bool IsSetupFailure(const std::wstring& imageName, DWORD exitCode) {
    const ChildExitText* entry = Lookup(imageName, exitCode);
    return entry && entry->setup;
}

std::string ExitReason(const std::wstring& imageName, DWORD exitCode) {
    if (exitCode == kExitKilledByDaemon) return Narrow(imageName) + " was ended";
    const ChildExitText* entry = Lookup(imageName, exitCode);
    if (entry) return entry->text;
    return (imageName == kEncoderImageName ? "FFmpeg ended with code " : "QvGraph.exe ended with code ") +
           std::to_string(static_cast<long>(exitCode));
}

bool IsMissingProgram(DWORD startError) {
    switch (startError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_FORMAT:
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_EXE_MARKED_INVALID:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        return true;
    default:
        return false;
    }
}

std::string StartFailureReason(const std::wstring& imageName, DWORD startError) {
    if (startError == ERROR_FILE_NOT_FOUND || startError == ERROR_PATH_NOT_FOUND)
        return Narrow(imageName) + " not found beside QvPushServer.exe";
    if (IsMissingProgram(startError)) return Narrow(imageName) + " is not a valid program (bad image)";
    return Narrow(imageName) + " could not be started (error " + std::to_string(startError) + ")";
}
