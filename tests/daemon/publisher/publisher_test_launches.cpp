#include "tests/daemon/publisher/publisher_test_launches.h"

#include "common/owned_process.h"
#include "common/unique_handle.h"
#include "daemon/publisher/output_watchers.h"
#include "daemon/publisher/process_launch.h"
#include "daemon/publisher/process_list.h"

#include <windows.h>

#include <mutex>
#include <vector>

namespace {

const UINT kKilledExitCode = 4;

// The ended ones are forgotten at every new one.
void Keep(COwnedProcess process) {
    static std::mutex* mutex = new std::mutex();
    static std::vector<COwnedProcess>* kept = new std::vector<COwnedProcess>();
    std::lock_guard<std::mutex> guard(*mutex);
    std::vector<COwnedProcess> running;
    for (COwnedProcess& p : *kept)
        if (p.Running()) running.push_back(std::move(p));
    running.push_back(std::move(process));
    kept->swap(running);
}

}  // namespace

bool FindProcessByName(const std::wstring& imageName) { return !ProcessIdsByName(imageName).empty(); }

bool KillProcessesByName(const std::wstring& imageName) {
    const std::vector<unsigned long> ids = ProcessIdsByName(imageName);
    for (unsigned long id : ids) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (process) ::TerminateProcess(process.get(), kKilledExitCode);
    }
    return !ids.empty();
}

bool LaunchProcess(const std::wstring& applicationPath, const std::wstring& commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    COwnedProcess process;
    if (!process.Start(applicationPath.empty() ? nullptr : applicationPath.c_str(), commandLine, false,
                       CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, startup))
        return false;
    Keep(std::move(process));
    return true;
}

bool LaunchWithOutputPipe(const std::wstring& executablePath, const std::wstring& arguments) {
    COwnedProcess process;
    if (!LaunchWatched(std::wstring(), EncoderCommandLine(executablePath, arguments), 0, EncoderOutputWatcher(0),
                       process))
        return false;
    Keep(std::move(process));
    return true;
}
