#include "bridge/bridge_command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

const wchar_t kBridgeUsage[] = L"usage: QvGraph.exe -a \"MICROPHONE\" -v \"CAMERA\"";

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const { ::LocalFree(p); }
};

}  // namespace

bool ParseBridgeCommandLine(const wchar_t* commandLine, BridgeArguments& arguments) {
    // An empty line makes CommandLineToArgvW return the program's path alone.
    if (commandLine == nullptr || *commandLine == L'\0') return false;
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(::CommandLineToArgvW(commandLine, &count));
    if (!argv || count != 5) return false;
    LPWSTR* words = argv.get();
    if (std::wstring(words[1]) != L"-a" || std::wstring(words[3]) != L"-v") return false;
    arguments.audioDevice = words[2];
    arguments.videoDevice = words[4];
    return true;
}
