#include "camera/filter/frame_exchange.h"

#include <cstring>

#include "camera/module/shared_section.h"
#include "common/unique_handle.h"

namespace {

QV_SHARED_DATA(".zrcamer") FrameExchange g_frameExchange = {};

// The guard is shared the way the record is: by name, machine-wide, since
// the section is shared by every process whatever its session. Two copies of
// the module share the names too, which costs a little concurrency and
// nothing else.
constexpr wchar_t kWritersMutexName[] = L"Global\\QvCamera.FrameExchange.Writers.{5B0E7C2D-91A4-4E36-8F1B-0D6C3A927E41}";
constexpr wchar_t kFrameMutexName[] = L"Global\\QvCamera.FrameExchange.Frame.{5B0E7C2D-91A4-4E36-8F1B-0D6C3A927E41}";

HANDLE OpenGuardMutex(const wchar_t* name) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
    // Created by a process of another user: its default DACL may still let
    // us wait on it and release it.
    if (mutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED)
        mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    return mutex;
}

struct GuardMutexes {
    UniqueHandle writers{OpenGuardMutex(kWritersMutexName)};
    UniqueHandle frame{OpenGuardMutex(kFrameMutexName)};
};

// Opened on first use, not in DllMain (the loader lock is no place for it),
// and closed when the module unloads.
GuardMutexes& Guard() {
    static GuardMutexes mutexes;
    return mutexes;
}

bool WaitForGuard(HANDLE mutex, DWORD timeoutMs) {
    if (mutex == nullptr) return false;
    DWORD result = ::WaitForSingleObject(mutex, timeoutMs);
    // An abandoned guard is ours now; its dead holder's partial frame stays
    // and goes stale like any other.
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

}  // namespace

FrameExchange& SharedFrameExchange() { return g_frameExchange; }

CFrameExchangeLock::CFrameExchangeLock(Role role, DWORD timeoutMs) {
    GuardMutexes& guard = Guard();
    if (role == Role::Writer) {
        m_writers = guard.writers.get();
        m_writersHeld = WaitForGuard(m_writers, timeoutMs);
        if (!m_writersHeld) return;
    }
    m_frame = guard.frame.get();
    m_frameHeld = WaitForGuard(m_frame, timeoutMs);
}

CFrameExchangeLock::~CFrameExchangeLock() {
    if (m_frameHeld) ::ReleaseMutex(m_frame);
    if (m_writersHeld) ::ReleaseMutex(m_writers);
}

HRESULT WriteFrameExchange(FrameExchange& record, const BYTE* data, LONG length) {
    if (length < 0 || length > kFrameCapacity || (data == nullptr && length != 0)) return E_INVALIDARG;
    CFrameExchangeLock lock(CFrameExchangeLock::Role::Writer, kWriterLockTimeoutMs);
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    record.hasFrame = 1;
    record.writeTick = ::GetTickCount();
    record.frameLength = length;
    if (length > 0) std::memcpy(record.frameData, data, static_cast<size_t>(length));
    return S_OK;
}

bool CheckFrameFresh(FrameExchange& record, DWORD now) {
    if (IsFrameStale(now, record.writeTick)) {
        record.hasFrame = 0;
        return false;
    }
    return record.hasFrame != 0;
}
