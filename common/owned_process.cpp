#include "common/owned_process.h"

namespace {

UniqueHandle NewKillOnCloseJob() {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        job.reset();
    return job;
}

bool OwnerInJob() {
    BOOL inJob = FALSE;
    return ::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob;
}

}  // namespace

bool COwnedProcess::Start(const wchar_t* applicationName, std::wstring commandLine, bool inheritHandles,
                          DWORD creationFlags, STARTUPINFOW& startup) {
    Reset();
    UniqueHandle job = NewKillOnCloseJob();
    if (!job && !OwnerInJob()) {
        m_startError = ::GetLastError();
        return false;
    }
    PROCESS_INFORMATION created = {};
    // Suspended until it is in the job, so that not one instruction of it
    // (nor a child of it) runs outside.
    if (!::CreateProcessW(applicationName, &commandLine[0], nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                          creationFlags | CREATE_SUSPENDED, nullptr, nullptr, &startup, &created)) {
        m_startError = ::GetLastError();
        return false;
    }
    UniqueHandle thread(created.hThread);
    UniqueHandle process(created.hProcess);
    if (!job || !::AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD refused = job ? ::GetLastError() : ERROR_NOT_SUPPORTED;
        if (!OwnerInJob()) {
            ::TerminateProcess(process.get(), 1);
            m_startError = refused;
            return false;
        }
        job.reset();
    }
    m_job = std::move(job);
    m_process = std::move(process);
    m_id = created.dwProcessId;
    ::ResumeThread(thread.get());
    return true;
}

bool COwnedProcess::Running() const {
    return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool COwnedProcess::ExitCode(DWORD& code) const {
    if (!m_process || Running()) return false;
    return ::GetExitCodeProcess(m_process.get(), &code) != FALSE;
}

void COwnedProcess::Terminate(UINT exitCode) {
    if (!m_process) return;
    if (m_job) ::TerminateJobObject(m_job.get(), exitCode);
    ::TerminateProcess(m_process.get(), exitCode);
}

bool COwnedProcess::End(UINT exitCode, DWORD timeoutMs) {
    if (!m_process) return true;
    Terminate(exitCode);
    return ::WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0;
}

void COwnedProcess::EndLeftInJob(UINT exitCode) {
    if (m_job && !Running()) ::TerminateJobObject(m_job.get(), exitCode);
}

void COwnedProcess::Reset() {
    m_job.reset();
    m_process.reset();
    m_id = 0;
    m_startError = 0;
}
