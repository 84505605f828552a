#pragma once
// The frame record shared by every process that has the module loaded, and
// the interface through which producers write it. A producer in one process
// writes; the filter instances of all processes read the latest frame.
#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "common/frame_guard.h"
#include "common/named_frame_exchange.h"

constexpr LONG kFrameCapacity = 640 * 480 * 4;  // 1,228,800 bytes

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

// The guard of the record, in a section of its own (".zrguard") shared the
// same way.
using FrameExchangeGuard = FrameGuard;

// The module's own record and its guard, in its shared sections.
FrameExchange& SharedFrameExchange();
FrameExchangeGuard& SharedFrameGuard();

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


// A named exchange opened at first use and kept for the life of the
// process; one that cannot be opened (another layout under the name, no
// memory) is tried again at most once a second, not at every sample.
class CLazyNamedFrameExchange {
public:
    explicit CLazyNamedFrameExchange(std::wstring name) : m_name(std::move(name)) {}
    // Null while it cannot be opened.
    CNamedFrameExchange* Get();

private:
    const std::wstring m_name;
    std::atomic<CNamedFrameExchange*> m_opened{nullptr};
    std::mutex m_mutex;
    CNamedFrameExchange m_exchange;
    DWORD m_lastTry = 0;
    bool m_tried = false;
};

// This process's view of the session's named exchange (kNamedFrameExchangeName),
// opened at first use; null while it cannot be opened. Defined on its own
// (session_exchange.cpp), with WriteCameraFrame: the camera's one tie to the
// user's live exchange, which a program that links the camera's code to
// measure it replaces with an exchange of its own name at link time.
CNamedFrameExchange* SessionNamedFrameExchange();

// This image's mark on the frames its WriteFrame copies into the named
// exchange; it reads its own record rather than those copies.
DWORD CameraImageId();

// The record as WriteFrameExchange writes it, and a whole 640 x 480 picture
// also into `exchange` (when not null) marked as this image's copy.
HRESULT WriteRecordAndExchange(FrameExchange& record, FrameExchangeGuard& guard, CNamedFrameExchange* exchange,
                               const BYTE* data, LONG length);

// WriteFrame of the camera's interface: WriteRecordAndExchange into this
// module's record and the session's exchange, so that camera images that do
// not share this module's record (another build or another copy of it) show
// what producers write through it.
HRESULT WriteCameraFrame(const BYTE* data, LONG length);

// One reader's take of the record: the guard's reader plus the fields.
class CFrameReader : public CFrameGuardReader {
public:
    struct Fields {
        BYTE hasFrame;
        DWORD writeTick;
        LONG frameLength;
    };

    CFrameReader(FrameExchange& record, FrameExchangeGuard& guard)
        : CFrameGuardReader(guard, record.hasFrame, record.writeTick), m_record(record) {}
    Fields ReadFields() const {
        const volatile FrameExchange& record = m_record;
        return Fields{record.hasFrame, record.writeTick, record.frameLength};
    }

private:
    FrameExchange& m_record;
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
