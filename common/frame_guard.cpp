#include "common/frame_guard.h"

#include <mutex>

#include "common/unique_handle.h"

namespace {

LONGLONG MakeOwnerToken(DWORD processId, const FILETIME& created) {
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(created.dwLowDateTime) << 32) | processId);
}

LONGLONG OwnToken() {
    static const LONGLONG token = [] {
        FILETIME created = {}, exited, kernel, user;
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        return MakeOwnerToken(::GetCurrentProcessId(), created);
    }();
    return token;
}

LONGLONG ReadWriter(FrameGuard& guard) { return ::InterlockedCompareExchange64(&guard.writer, 0, 0); }

// A holder whose process cannot be opened (its id now used by a process of
// another user or a protected one) cannot be asked whether it is the one
// that took the lock. A living writer holds the lock only for one copy and
// moves the sequence with every change, so the same holder at the same
// sequence for this long is one that died, whoever has its id now.
bool HeldUnchangedTooLong(LONGLONG owner, LONG sequence) {
    static std::mutex mutex;
    static LONGLONG seenOwner = 0;
    static LONG seenSequence = 0;
    static DWORD seenSince = 0;
    std::lock_guard<std::mutex> guard(mutex);
    const DWORD now = ::GetTickCount();
    if (owner != seenOwner || sequence != seenSequence) {
        seenOwner = owner;
        seenSequence = sequence;
        seenSince = now;
        return false;
    }
    return now - seenSince >= kUninspectableOwnerMs;
}

// Only on the slow path: these are kernel calls.
bool OwnerGone(FrameGuard& guard, LONGLONG owner) {
    const DWORD processId = static_cast<DWORD>(owner & 0xFFFFFFFF);
    // The least right there is: more processes of others grant it than
    // grant SYNCHRONIZE.
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        if (::GetLastError() == ERROR_INVALID_PARAMETER) return true;  // no such process
        return HeldUnchangedTooLong(owner, guard.sequence);
    }
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return true;
    FILETIME created = {}, exited, kernel, user;
    if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return HeldUnchangedTooLong(owner, guard.sequence);
    // Another creation time: the id was used again by a new process.
    return MakeOwnerToken(processId, created) != owner;
}

LONGLONG OwnThreadToken() {
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(::GetCurrentThreadId()) << 32) | ::GetCurrentProcessId());
}

LONGLONG ReadNextWriter(FrameGuard& guard) { return ::InterlockedCompareExchange64(&guard.nextWriter, 0, 0); }

// Only on the slow path, like OwnerGone.
bool WaitingThreadGone(LONGLONG waiting) {
    const DWORD processId = static_cast<DWORD>(waiting & 0xFFFFFFFF);
    const DWORD threadId = static_cast<DWORD>(static_cast<ULONGLONG>(waiting) >> 32);
    UniqueHandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, threadId));
    if (!thread) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    if (::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) return true;
    return ::GetProcessIdOfThread(thread.get()) != processId;
}

bool TryTakeWriter(FrameGuard& guard) {
    return ::InterlockedCompareExchange64(&guard.writer, OwnToken(), 0) == 0;
}

// Takes the lock from a holder that has died; false when it is alive or
// someone else was quicker.
bool TryTakeOverWriter(FrameGuard& guard) {
    const LONGLONG owner = ReadWriter(guard);
    if (owner == 0) return TryTakeWriter(guard);
    if (owner == OwnToken() || !OwnerGone(guard, owner)) return false;
    return ::InterlockedCompareExchange64(&guard.writer, OwnToken(), owner) == owner;
}

void ReleaseWriter(FrameGuard& guard) { ::InterlockedCompareExchange64(&guard.writer, 0, OwnToken()); }

// Spins for about the length of a copy, then yields, then sleeps.
void Pause(unsigned round) {
    if (round < 64) {
        for (int i = 0; i < 64; ++i) YieldProcessor();
    } else if (round < 128) {
        ::Sleep(0);
    } else {
        ::Sleep(1);
    }
}

// A change a dead writer left open keeps the sequence odd; the next change
// moves it to another odd value and then to an even one, so that no value a
// reader noted before comes back and the half-written frame is never taken
// for a stable one.
LONG StartChange(FrameGuard& guard) {
    const ULONG current = static_cast<ULONG>(guard.sequence);  // wraps, never overflows
    const LONG changing = static_cast<LONG>((current & 1) ? current + 2 : current + 1);
    ::InterlockedExchange(&guard.sequence, changing);
    return changing;
}

void FinishChange(FrameGuard& guard, LONG changing) {
    // The even value publishes the frame, so every write of the change must
    // be visible before it: a release. mingw documents InterlockedExchange
    // as an acquire barrier only, which would let the record's writes sink
    // below the store; the full barrier keeps them above it on any compiler
    // and processor.
    MemoryBarrier();
    ::InterlockedExchange(&guard.sequence, static_cast<LONG>(static_cast<ULONG>(changing) + 1));
}

// A reader's request that the next writer wait is honoured for this long,
// so that one left by a reader that died costs a writer no more than that.
void WaitForAskingReader(FrameGuard& guard) {
    for (unsigned round = 0;; ++round) {
        const LONG asked = guard.readerAsked;
        if (asked == 0) return;
        if (::GetTickCount() - static_cast<DWORD>(asked) > kReaderLockTimeoutMs) {
            ::InterlockedCompareExchange(&guard.readerAsked, 0, asked);
            return;
        }
        Pause(round);
    }
}

}  // namespace

CFrameWriterLock::CFrameWriterLock(FrameGuard& guard, DWORD timeoutMs) : m_guard(guard) {
    if (ReadNextWriter(guard) == 0 && TryTakeWriter(guard)) {
        m_held = true;
        return;
    }
    const LONGLONG me = OwnThreadToken();
    const DWORD start = ::GetTickCount();
    DWORD nextCheck = kOwnerCheckAfterMs;
    for (unsigned round = 0;; ++round) {
        LONGLONG next = ReadNextWriter(guard);
        if (next == 0) {
            ::InterlockedCompareExchange64(&guard.nextWriter, me, 0);
            next = ReadNextWriter(guard);
        }
        if ((next == 0 || next == me) && ReadWriter(guard) == 0 && TryTakeWriter(guard)) break;
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= nextCheck) {
            if (ReadWriter(guard) != 0 && TryTakeOverWriter(guard)) break;
            if (next != 0 && next != me && WaitingThreadGone(next))
                ::InterlockedCompareExchange64(&guard.nextWriter, 0, next);
            nextCheck = waited + kOwnerCheckEveryMs;
        }
        if (waited >= timeoutMs) {
            ::InterlockedCompareExchange64(&guard.nextWriter, 0, me);
            return;
        }
        Pause(round);
    }
    ::InterlockedCompareExchange64(&guard.nextWriter, 0, me);
    m_held = true;
}

CFrameWriterLock::~CFrameWriterLock() {
    if (!m_held) return;
    if (m_changing != 0) EndChange();
    ReleaseWriter(m_guard);
}

void CFrameWriterLock::WaitForReaders() {
    // After taking over from a writer that died in its copy, readers wait
    // for this change to close the one left open: no point waiting for them.
    if (m_held && (m_guard.sequence & 1) == 0) WaitForAskingReader(m_guard);
}

void CFrameWriterLock::BeginChange() {
    if (m_held && m_changing == 0) m_changing = StartChange(m_guard);
}

void CFrameWriterLock::EndChange() {
    if (m_changing == 0) return;
    FinishChange(m_guard, m_changing);
    m_changing = 0;
}

CFrameGuardReader::CFrameGuardReader(FrameGuard& guard, volatile BYTE& hasFrame, volatile DWORD& writeTick)
    : m_guard(guard), m_hasFrame(hasFrame), m_writeTick(writeTick), m_startTick(::GetTickCount()) {}

CFrameGuardReader::~CFrameGuardReader() {
    if (m_asked != 0) ::InterlockedCompareExchange(&m_guard.readerAsked, 0, m_asked);
}

bool CFrameGuardReader::Begin() {
    DWORD nextOwnerCheck = kOwnerCheckAfterMs;
    for (unsigned round = 0;; ++round) {
        const LONG sequence = m_guard.sequence;
        MemoryBarrier();  // the record is read only after the sequence
        if ((sequence & 1) == 0) {
            m_begin = sequence;
            return true;
        }
        // Writers can follow each other with next to no gap between their
        // changes; without a word to the next one, a reader could wait for
        // ever.
        AskWriters();
        const DWORD waited = ::GetTickCount() - m_startTick;
        if (waited >= nextOwnerCheck) {
            // A writer that died in its copy: its frame is incomplete, so it
            // is dropped rather than finished.
            if (TryTakeOverWriter(m_guard)) {
                if (m_guard.sequence & 1) {
                    const LONG changing = StartChange(m_guard);
                    m_hasFrame = 0;
                    FinishChange(m_guard, changing);
                }
                ReleaseWriter(m_guard);
                continue;
            }
            nextOwnerCheck = waited + kOwnerCheckEveryMs;
        }
        if (waited >= kReaderLockTimeoutMs) return false;
        Pause(round);
    }
}

bool CFrameGuardReader::Unchanged() {
    MemoryBarrier();  // every read of the record is done before the check
    if (m_guard.sequence == m_begin) return true;
    AskWriters();
    return false;
}

void CFrameGuardReader::AskWriters() {
    if (m_asked != 0) return;
    const DWORD tick = ::GetTickCount();
    m_asked = static_cast<LONG>(tick != 0 ? tick : 1);  // 0 means no request
    ::InterlockedExchange(&m_guard.readerAsked, m_asked);
}

void CFrameGuardReader::ClearStaleFrame() {
    if (!TryTakeWriter(m_guard)) return;
    if (m_hasFrame != 0 && IsFrameStale(::GetTickCount(), m_writeTick)) {
        const LONG changing = StartChange(m_guard);
        m_hasFrame = 0;
        FinishChange(m_guard, changing);
    }
    ReleaseWriter(m_guard);
}
