#pragma once
// The guard that keeps readers and writers of a shared frame record apart,
// across processes. Uncontended, neither side makes a kernel call: writers
// take a lock word, and a sequence counter tells readers whether a frame
// changed under them (even: stable; odd: a change is under way). A writer
// that died holding the lock is taken over. The guard lives in memory that
// every party maps (a shared section, a named file mapping); it needs no
// set-up beyond being zero at first.
#include <windows.h>

// A frame older than this (in GetTickCount milliseconds) is stale.
constexpr DWORD kFrameFreshnessMs = 2000;

// True when a frame written at writeTick is stale at `now`; unsigned 32-bit
// arithmetic keeps this right across the wrap of the tick counter.
inline bool IsFrameStale(DWORD now, DWORD writeTick) { return now - writeTick > kFrameFreshnessMs; }

// What one read of a guarded record came to.
enum class FrameTake {
    Injected,  // consume was called with the latest fresh frame
    Standby,   // stale or no frame: the sample gets the stand-by picture
    Busy,      // a change stayed under way for kReaderLockTimeoutMs; whatever consume got is to be dropped
};

struct FrameGuard {
    // 0 when free; otherwise the holder: its process id in the low half and
    // the low half of that process's creation time in the high half, so that
    // a process id used again later is not mistaken for the holder.
    alignas(8) volatile LONGLONG writer;
    volatile LONG sequence;
    // Non-zero: the tick at which a reader that lost a take to a writer asked
    // the next writer to wait for it, which it does for at most
    // kReaderLockTimeoutMs.
    volatile LONG readerAsked;
    // Non-zero: the writer next in line (its process id in the low half, its
    // thread id in the high half). The lock is free for others only when
    // that writer is gone or took it, so that a writer that lets go and at
    // once asks again cannot keep another out for good.
    alignas(8) volatile LONGLONG nextWriter;
};
static_assert(sizeof(FrameGuard) == 24, "guard size");

// How long a writer waits for the lock before giving up, and a reader for a
// change under way to end.
constexpr DWORD kWriterLockTimeoutMs = 2000;
constexpr DWORD kReaderLockTimeoutMs = 100;
// A holder is looked for among the living only after this much waiting, and
// again at this interval; a dead one is taken over.
constexpr DWORD kOwnerCheckAfterMs = 20;
constexpr DWORD kOwnerCheckEveryMs = 50;
// A holder whose process cannot be inspected is taken for dead once it has
// held the lock at one sequence value for this long.
constexpr DWORD kUninspectableOwnerMs = 1000;

// The writer lock of a guard, held for the object's lifetime. Two writers,
// in whatever processes, never hold it at once. A holder whose process has
// ended is taken over, and a change it left half done is finished by the
// next writer (or undone by a reader: the frame is dropped).
class CFrameWriterLock {
public:
    // Waits at most timeoutMs; Held() tells whether the lock was obtained.
    CFrameWriterLock(FrameGuard& guard, DWORD timeoutMs);
    ~CFrameWriterLock();
    CFrameWriterLock(const CFrameWriterLock&) = delete;
    CFrameWriterLock& operator=(const CFrameWriterLock&) = delete;

    bool Held() const { return m_held; }
    // Honours a reader's request to let it finish its copy (for at most
    // kReaderLockTimeoutMs). Only with the lock held, before BeginChange.
    void WaitForReaders();
    // Between the two, readers keep off the record. Only with the lock held.
    void BeginChange();
    void EndChange();

private:
    FrameGuard& m_guard;
    LONG m_changing = 0;  // the odd sequence value of a change under way
    bool m_held = false;
};

// One reader's take of a guarded record, whose frame is valid while its
// hasFrame byte is non-zero and fresh by its writeTick.
class CFrameGuardReader {
public:
    CFrameGuardReader(FrameGuard& guard, volatile BYTE& hasFrame, volatile DWORD& writeTick);
    ~CFrameGuardReader();  // withdraws its request to writers, if it made one
    CFrameGuardReader(const CFrameGuardReader&) = delete;
    CFrameGuardReader& operator=(const CFrameGuardReader&) = delete;

    // Waits until no change is under way (asking the next writer to wait for
    // this reader) and notes the sequence; false when kReaderLockTimeoutMs
    // have passed since the reader was made. A change a dead writer left
    // open is closed with hasFrame cleared: its frame is incomplete.
    bool Begin();
    // True when no change began since Begin. Otherwise asks the next writer
    // to wait for this reader, so that the retry waits at most for the copy
    // under way.
    bool Unchanged();
    // Clears hasFrame of a stale frame, but only when no writer holds the
    // lock (a writer brings a fresh frame anyway), re-checking under it.
    void ClearStaleFrame();

private:
    // Asks the next writer to wait until this reader is done.
    void AskWriters();

    FrameGuard& m_guard;
    volatile BYTE& m_hasFrame;
    volatile DWORD& m_writeTick;
    DWORD m_startTick;
    LONG m_begin = 0;
    LONG m_asked = 0;
};
