#pragma once
// The frame record shared by every process that has the module loaded, and
// the interface through which producers write it. A producer in one process
// writes; the filter instances of all processes read the latest frame.
#include <windows.h>
#include <unknwn.h>

#include <cstddef>

constexpr LONG kFrameCapacity = 640 * 480 * 4;  // 1,228,800 bytes
// A frame older than this (in GetTickCount milliseconds) is stale.
constexpr DWORD kFrameFreshnessMs = 2000;

// The whole shared section ".zrcamer": its layout is part of the module's
// interface, so it never changes. The guard that keeps readers and writers
// apart lives outside it (see FrameExchangeGuard).
struct FrameExchange {
    BYTE frameData[kFrameCapacity];
    BYTE hasFrame;
    BYTE padding[3];
    DWORD writeTick;
    LONG frameLength;
};
static_assert(sizeof(FrameExchange) == 1228812, "shared record size");
static_assert(offsetof(FrameExchange, frameData) == 0, "frameData offset");
static_assert(offsetof(FrameExchange, hasFrame) == 1228800, "hasFrame offset");
static_assert(offsetof(FrameExchange, writeTick) == 1228804, "writeTick offset");
static_assert(offsetof(FrameExchange, frameLength) == 1228808, "frameLength offset");

// {E3B5417A-C962-4D08-9B2E-6F1D0A8C7354}
constexpr IID IID_TranslateData_buf = {0xE3B5417A, 0xC962, 0x4D08, {0x9B, 0x2E, 0x6F, 0x1D, 0x0A, 0x8C, 0x73, 0x54}};

struct TranslateData_buf : public IUnknown {
    // Stores one frame of `length` bytes (a 640 x 480 RGB24 bottom-up picture
    // is 921,600) as the latest frame of every process's camera.
    virtual HRESULT STDMETHODCALLTYPE WriteFrame(const BYTE* data, LONG length) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(TranslateData_buf, 0xE3B5417A, 0xC962, 0x4D08, 0x9B, 0x2E, 0x6F, 0x1D, 0x0A, 0x8C, 0x73, 0x54)
#endif

// The guard of a record, in a section of its own (".zrguard") shared the
// same way. Uncontended, neither side makes a kernel call: writers take a
// lock word, and a sequence counter tells readers whether a frame changed
// under them (even: stable; odd: a change is under way).
struct FrameExchangeGuard {
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
static_assert(sizeof(FrameExchangeGuard) == 24, "guard size");

// The module's own record and its guard, in its shared sections.
FrameExchange& SharedFrameExchange();
FrameExchangeGuard& SharedFrameGuard();

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
    CFrameWriterLock(FrameExchangeGuard& guard, DWORD timeoutMs);
    ~CFrameWriterLock();
    CFrameWriterLock(const CFrameWriterLock&) = delete;
    CFrameWriterLock& operator=(const CFrameWriterLock&) = delete;

    bool Held() const { return m_held; }
    // Between the two, readers keep off the record. Only with the lock held.
    void BeginChange();
    void EndChange();

private:
    FrameExchangeGuard& m_guard;
    LONG m_changing = 0;  // the odd sequence value of a change under way
    bool m_held = false;
};

// WriteFrame on `record` guarded by `guard`: a length below 0 or above
// kFrameCapacity, or null data with a non-zero length, is refused with
// E_INVALIDARG and the record is left unchanged. Otherwise, under the writer
// lock and as one change: hasFrame, writeTick, frameLength, then the copy;
// S_OK. When the lock cannot be had within kWriterLockTimeoutMs nothing is
// written and HRESULT_FROM_WIN32(ERROR_TIMEOUT) is returned rather than a
// success. The three-argument form uses this module's own guard.
HRESULT WriteFrameExchange(FrameExchange& record, FrameExchangeGuard& guard, const BYTE* data, LONG length);
inline HRESULT WriteFrameExchange(FrameExchange& record, const BYTE* data, LONG length) {
    return WriteFrameExchange(record, SharedFrameGuard(), data, length);
}

// True when a frame written at writeTick is stale at `now`; unsigned 32-bit
// arithmetic keeps this right across the wrap of the tick counter.
inline bool IsFrameStale(DWORD now, DWORD writeTick) { return now - writeTick > kFrameFreshnessMs; }

enum class FrameTake {
    Injected,  // consume was called with the latest fresh frame
    Standby,   // stale or no frame: the sample gets the stand-by picture
    Busy,      // a change stayed under way for kReaderLockTimeoutMs; whatever consume got is to be dropped
};

// One reader's take of a record: the parts of TakeFreshFrame that do not
// depend on the consumer.
class CFrameReader {
public:
    struct Fields {
        BYTE hasFrame;
        DWORD writeTick;
        LONG frameLength;
    };

    CFrameReader(FrameExchange& record, FrameExchangeGuard& guard);
    ~CFrameReader();  // withdraws its request to writers, if it made one
    CFrameReader(const CFrameReader&) = delete;
    CFrameReader& operator=(const CFrameReader&) = delete;

    // Waits until no change is under way (asking the next writer to wait for
    // this reader) and notes the sequence; false when kReaderLockTimeoutMs
    // have passed since the reader was made.
    bool Begin();
    Fields ReadFields() const;
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

    FrameExchange& m_record;
    FrameExchangeGuard& m_guard;
    DWORD m_startTick;
    LONG m_begin = 0;
    LONG m_asked = 0;
};

// One sample's read: waits for a change under way to end, then takes the
// tick (so that a write that finished while the reader waited never looks
// like a frame from the future), runs the freshness test and, for a fresh
// frame, calls consume(const BYTE* frameData, LONG frameLength) on the record
// itself. When a writer began a change meanwhile, the take starts again and
// consume runs again; only the last call's result counts, and none of them
// when Busy is returned. frameLength is passed as it was read once; bounding
// it to the sample is the consumer's job. A stale frame has its hasFrame
// cleared.
template <typename Consume>
FrameTake TakeFreshFrame(FrameExchange& record, FrameExchangeGuard& guard, Consume&& consume) {
    CFrameReader reader(record, guard);
    for (;;) {
        if (!reader.Begin()) return FrameTake::Busy;
        const DWORD now = ::GetTickCount();
        const CFrameReader::Fields fields = reader.ReadFields();
        const bool fresh = fields.hasFrame != 0 && !IsFrameStale(now, fields.writeTick);
        if (fresh) consume(static_cast<const BYTE*>(record.frameData), fields.frameLength);
        if (!reader.Unchanged()) continue;
        if (fresh) return FrameTake::Injected;
        if (fields.hasFrame != 0) reader.ClearStaleFrame();
        return FrameTake::Standby;
    }
}
