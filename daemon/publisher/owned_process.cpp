#include "daemon/publisher/owned_process.h"

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

}  // namespace

bool COwnedProcess::Start(const wchar_t* applicationName, std::wstring commandLine, bool inheritHandles,
                          DWORD creationFlags, STARTUPINFOW& startup) {
    Reset();
    UniqueHandle job = NewKillOnCloseJob();
    PROCESS_INFORMATION created = {};
    // Suspended until it is in the job, so that not one instruction of it
    // (nor a child of it) runs outside.
    if (!::CreateProcessW(applicationName, &commandLine[0], nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                          creationFlags | CREATE_SUSPENDED, nullptr, nullptr, &startup, &created)) {
        return false;
    }
    UniqueHandle thread(created.hThread);
    m_process.reset(created.hProcess);
    m_id = created.dwProcessId;
    m_startTick = ::GetTickCount64();
    if (job && ::AssignProcessToJobObject(job.get(), m_process.get())) m_job = std::move(job);
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

ULONGLONG COwnedProcess::Age() const { return m_process ? ::GetTickCount64() - m_startTick : 0; }

bool COwnedProcess::End(DWORD timeoutMs) {
    if (!m_process) return true;
    if (m_job) ::TerminateJobObject(m_job.get(), kKilledExitCode);
    ::TerminateProcess(m_process.get(), kKilledExitCode);
    return ::WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0;
}

void COwnedProcess::EndLeftInJob() {
    if (m_job && !Running()) ::TerminateJobObject(m_job.get(), kKilledExitCode);
}

void COwnedProcess::Reset() {
    m_job.reset();
    m_process.reset();
    m_id = 0;
    m_startTick = 0;
}
