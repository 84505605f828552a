#include "camera/framework/am_thread.h"

CAMThread::CAMThread()
    : m_work(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CAMThread::~CAMThread() {
    Close();
    if (m_work) CloseHandle(m_work);
    if (m_done) CloseHandle(m_done);
}

bool CAMThread::Create() {
    CAutoLock lock(&m_accessLock);
    if (m_thread || !m_work || !m_done) return false;
    ResetEvent(m_work);
    ResetEvent(m_done);
    DWORD id = 0;
    m_thread = CreateThread(nullptr, 0, &CAMThread::InitialThreadProc, this, 0, &id);
    return m_thread != nullptr;
}

DWORD CAMThread::CallWorker(DWORD request) {
    CAutoLock lock(&m_accessLock);
    if (!m_thread) return static_cast<DWORD>(E_FAIL);
    m_param = request;
    m_result = 0;
    SetEvent(m_work);
    // A worker that has ended never replies; do not wait for it forever.
    HANDLE waits[2] = {m_done, m_thread};
    DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        ResetEvent(m_work);
        return static_cast<DWORD>(E_FAIL);
    }
    return m_result;
}

void CAMThread::Close() {
    CAutoLock lock(&m_accessLock);
    if (!m_thread) return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
}

DWORD CAMThread::GetRequest() {
    WaitForSingleObject(m_work, INFINITE);
    DWORD request = m_param;
    ResetEvent(m_work);
    return request;
}

bool CAMThread::CheckRequest(DWORD* request) {
    if (WaitForSingleObject(m_work, 0) != WAIT_OBJECT_0) return false;
    if (request) *request = m_param;
    return true;
}

void CAMThread::Reply(DWORD result) {
    m_result = result;
    SetEvent(m_done);
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID self) { return static_cast<CAMThread*>(self)->ThreadProc(); }
