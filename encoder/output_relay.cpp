#include "encoder/output_relay.h"

namespace {

// FFmpeg writes a progress line at a time; room for a burst of its start-up
// text without making it wait on us.
constexpr DWORD kPipeBytes = 65536;

// Passes all of `bytes` on; a missing or broken standard error drops them,
// as a console that is gone would.
void PassOn(HANDLE target, const char* bytes, DWORD count) {
    while (count > 0 && target != nullptr && target != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!::WriteFile(target, bytes, count, &written, nullptr) || written == 0) return;
        bytes += written;
        count -= written;
    }
}

}  // namespace

COutputRelay::~COutputRelay() {
    if (m_thread && !WaitForEnd(2000)) {
        ::CancelSynchronousIo(m_thread.get());
        ::WaitForSingleObject(m_thread.get(), 1000);
    }
}

bool COutputRelay::Open(DWORD& error) {
    if (!::CreatePipe(m_read.put(), m_write.put(), nullptr, kPipeBytes)) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

bool COutputRelay::Start(DWORD& error) {
    m_write.reset();
    m_thread.reset(::CreateThread(nullptr, 0, &COutputRelay::ThreadRelayOutput, this, 0, nullptr));
    if (!m_thread) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

bool COutputRelay::WaitForEnd(DWORD timeoutMs) {
    return !m_thread || ::WaitForSingleObject(m_thread.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool COutputRelay::Expired() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_watchdog.Expired(::GetTickCount());
}

bool COutputRelay::ReachedServer() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_watchdog.ReachedServer();
}

bool COutputRelay::Saw() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_watch.Seen();
}

DWORD WINAPI COutputRelay::ThreadRelayOutput(void* self) {
    static_cast<COutputRelay*>(self)->Relay();
    return 0;
}

void COutputRelay::Relay() {
    const HANDLE target = ::GetStdHandle(STD_ERROR_HANDLE);
    char buffer[4096];
    DWORD count = 0;
    // Ends when the last writer is gone (ERROR_BROKEN_PIPE).
    while (::ReadFile(m_read.get(), buffer, sizeof(buffer), &count, nullptr) && count > 0) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_watchdog.Feed(buffer, count, ::GetTickCount());
            m_watch.Feed(buffer, count);
        }
        PassOn(target, buffer, count);
    }
}
