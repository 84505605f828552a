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
// apart lives outside it (see CFrameExchangeLock).
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

// The module's own record, in its shared section.
FrameExchange& SharedFrameExchange();

// Holds the cross-process guard of the record: while one lock is held, no
// other holder (reader or writer, in any process) touches the record. Writers
// first queue among themselves, so a reader waits for at most the one copy
// that is under way. A holder that died counts as gone; what it left behind
// is kept.
class CFrameExchangeLock {
public:
    enum class Role { Reader, Writer };
    // Waits at most timeoutMs; Held() tells whether the guard was obtained.
    CFrameExchangeLock(Role role, DWORD timeoutMs);
    ~CFrameExchangeLock();
    CFrameExchangeLock(const CFrameExchangeLock&) = delete;
    CFrameExchangeLock& operator=(const CFrameExchangeLock&) = delete;

    bool Held() const { return m_frameHeld; }

private:
    HANDLE m_writers = nullptr;  // held, not owned: the per-process guard objects stay open
    HANDLE m_frame = nullptr;
    bool m_writersHeld = false;
    bool m_frameHeld = false;
};

// How long a writer waits for the guard before giving up, and a reader.
constexpr DWORD kWriterLockTimeoutMs = 2000;
constexpr DWORD kReaderLockTimeoutMs = 100;

// WriteFrame on `record`: a length below 0 or above kFrameCapacity, or null
// data with a non-zero length, is refused with E_INVALIDARG and the record is
// left unchanged. Otherwise, under the guard: hasFrame, writeTick,
// frameLength, then the copy; S_OK. When the guard cannot be had (another
// holder keeps it past kWriterLockTimeoutMs, or the guard objects could not
// be opened) nothing is written and HRESULT_FROM_WIN32(ERROR_TIMEOUT) is
// returned rather than a success.
HRESULT WriteFrameExchange(FrameExchange& record, const BYTE* data, LONG length);

// True when a frame written at writeTick is stale at `now`; unsigned 32-bit
// arithmetic keeps this right across the wrap of the tick counter.
inline bool IsFrameStale(DWORD now, DWORD writeTick) { return now - writeTick > kFrameFreshnessMs; }

// The reader's freshness test at `now`, with the guard held: a stale frame
// clears hasFrame and gives false; otherwise true when a frame is there.
bool CheckFrameFresh(FrameExchange& record, DWORD now);

enum class FrameTake {
    Injected,  // consume was called with the latest fresh frame
    Standby,   // stale or no frame: the sample gets the stand-by picture
    Busy,      // the guard could not be had in kReaderLockTimeoutMs; the record was not examined
};

// One sample's read: takes the guard, then the tick (so that a write that
// finished while the reader waited never looks like a frame from the future),
// runs the freshness test and, for a fresh frame, calls
// consume(const BYTE* frameData, LONG frameLength) while no writer can touch
// it. frameLength is passed as it is in the record; bounding it to the
// sample is the consumer's job.
template <typename Consume>
FrameTake TakeFreshFrame(FrameExchange& record, Consume&& consume) {
    CFrameExchangeLock lock(CFrameExchangeLock::Role::Reader, kReaderLockTimeoutMs);
    if (!lock.Held()) return FrameTake::Busy;
    if (!CheckFrameFresh(record, ::GetTickCount())) return FrameTake::Standby;
    consume(static_cast<const BYTE*>(record.frameData), record.frameLength);
    return FrameTake::Injected;
}
