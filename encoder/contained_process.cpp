#include "encoder/contained_process.h"

namespace {

// An inheritable duplicate, or null for a handle that is absent.
UniqueHandle InheritableCopy(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return UniqueHandle();
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS))
        return UniqueHandle();
    return UniqueHandle(copy);
}

}  // namespace

UniqueHandle OpenNullInput() {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                               nullptr);
    return UniqueHandle(nul == INVALID_HANDLE_VALUE ? nullptr : nul);
}

bool StartContained(const std::wstring& commandLine, const ChildHandles& handles, DWORD creationFlags,
                    ContainedProcess& child, DWORD& error) {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        error = ::GetLastError();
        return false;
    }
    UniqueHandle input = InheritableCopy(handles.input);
    UniqueHandle output = InheritableCopy(handles.output);
    UniqueHandle errorOutput = InheritableCopy(handles.error);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input.get();
    si.hStdOutput = output.get();
    si.hStdError = errorOutput.get();
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    // Suspended until it is in the job, so not one instruction runs outside.
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, creationFlags | CREATE_SUSPENDED, nullptr,
                          nullptr, &si, &pi)) {
        error = ::GetLastError();
        return false;
    }
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    if (!::AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD refused = ::GetLastError();
        // Windows 7 nests no jobs: when QvShow.exe itself runs in one (the
        // daemon's, which ends what it holds when the daemon ends or stops
        // it), FFmpeg stays in that job, which contains it as well.
        BOOL inJob = FALSE;
        if (!::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) || !inJob) {
            error = refused;
            ::TerminateProcess(process.get(), 1);
            return false;
        }
        job.reset();
    }
    ::ResumeThread(thread.get());
    child.job = std::move(job);
    child.process = std::move(process);
    return true;
}

void EndContained(ContainedProcess& child, UINT exitCode) {
    if (!child.job || !::TerminateJobObject(child.job.get(), exitCode))
        ::TerminateProcess(child.process.get(), exitCode);
}
