#pragma once
// The named frame exchange: one frame of up to 1920 x 1080, in NV12 or
// bottom-up RGB24, in a file mapping named in the user's session. Unlike the
// camera module's shared section, which Windows shares only among processes
// that load the same module file, every image of the camera (the 64-bit and
// the 32-bit build, or copies of one build at other paths) and any producer
// open the same mapping. Whichever side comes first creates it; it lives
// while any of them holds it open.
//
// Layout (little-endian; offsets from the start of the mapping):
//   0    magic            "QVFX" (0x58465651)
//   4    layoutVersion    1
//   8    frameOffset      4096: where the frame starts
//   12   frameCapacity    6,220,800: room for 1920 x 1080 x 3 bytes
//   16   guard            24 bytes: FrameGuard (common/frame_guard.h)
//   40   width            pixels
//   44   height           pixels (positive)
//   48   pixelFormat      "NV12" (0x3231564E) or "RG24" (0x34324752)
//   52   stride           bytes a row (NV12: of both planes)
//   56   frameRate        frames a second the producer delivers
//   60   writerProcessId  the process that wrote the frame
//   64   writeTick        GetTickCount at the write; stale 2,000 ms later
//   68   frameBytes       bytes of the frame: NV12 stride x height x 3 / 2
//                         (the luma rows, then the interleaved U/V rows),
//                         RG24 stride x height (the bottom row first)
//   72   hasFrame         1 while a frame is held
//   76   frameCount       frames written since the mapping was made
//   80   copiedFromImage  0 for a frame written here directly; otherwise the
//                         camera image whose WriteFrame copied it from its
//                         own 640 x 480 record (such a copy never replaces a
//                         fresh frame written directly, and the image that
//                         made it reads its record instead)
//   4096 the frame
#include <windows.h>

#include <cstddef>

#include "common/exchange_security.h"
#include "common/frame_guard.h"
#include "common/unique_handle.h"

// The layout version is part of the name: a camera or producer of another
// layout never meets this one's mapping (its own has another name).
constexpr wchar_t kNamedFrameExchangeName[] = L"Local\\QvCameraFrameExchange.1";
constexpr DWORD kNamedFrameMagic = 0x58465651;  // "QVFX"
constexpr DWORD kNamedFrameLayoutVersion = 1;
constexpr LONG kNamedFrameMaxWidth = 1920;
constexpr LONG kNamedFrameMaxHeight = 1080;
constexpr DWORD kNamedFrameOffset = 4096;
constexpr DWORD kNamedFrameCapacity = kNamedFrameMaxWidth * kNamedFrameMaxHeight * 3;
constexpr DWORD kNamedFrameMappingBytes = kNamedFrameOffset + kNamedFrameCapacity;

enum class NamedFrameFormat : DWORD {
    NV12 = 0x3231564E,   // "NV12": 8-bit luma plane, then interleaved U/V at half size, top row first
    RGB24 = 0x34324752,  // "RG24": blue, green, red a pixel, bottom row first
};

struct NamedFrameHeader {
    DWORD magic;
    DWORD layoutVersion;
    DWORD frameOffset;
    DWORD frameCapacity;
    FrameGuard guard;
    LONG width;
    LONG height;
    DWORD pixelFormat;
    LONG stride;
    DWORD frameRate;
    DWORD writerProcessId;
    DWORD writeTick;
    DWORD frameBytes;
    BYTE hasFrame;
    BYTE padding[3];
    DWORD frameCount;
    DWORD copiedFromImage;
};
static_assert(offsetof(NamedFrameHeader, guard) == 16, "guard offset");
static_assert(offsetof(NamedFrameHeader, width) == 40, "width offset");
static_assert(offsetof(NamedFrameHeader, writeTick) == 64, "writeTick offset");
static_assert(offsetof(NamedFrameHeader, hasFrame) == 72, "hasFrame offset");
static_assert(offsetof(NamedFrameHeader, frameCount) == 76, "frameCount offset");
static_assert(offsetof(NamedFrameHeader, copiedFromImage) == 80, "copiedFromImage offset");
static_assert(sizeof(NamedFrameHeader) <= kNamedFrameOffset, "header room");

// The picture description of a frame, as a writer gives it and a reader
// gets it.
struct NamedFrameInfo {
    LONG width;
    LONG height;
    NamedFrameFormat format;
    LONG stride;
    DWORD frameRate;
    DWORD frameBytes;
    DWORD copiedFromImage;
};

// Bytes of a frame of this description; 0 when the description is not one
// the exchange holds (sizes 2..1920 x 2..1080, even for NV12, a stride of at
// least a row, the whole frame within kNamedFrameCapacity).
DWORD NamedFrameBytes(LONG width, LONG height, NamedFrameFormat format, LONG stride);

class CNamedFrameExchange {
public:
    CNamedFrameExchange() = default;
    CNamedFrameExchange(const CNamedFrameExchange&) = delete;
    CNamedFrameExchange& operator=(const CNamedFrameExchange&) = delete;

    // Opens the session's exchange, creating it when nobody has (with the
    // user's security: exchange_security.h); S_OK, or the failure: a mapping
    // of another layout under the name: E_FAIL; one that another user owns:
    // kExchangeForeignOwner; one below medium integrity:
    // kExchangeLowerIntegrity. `name` other than the default is for tests
    // and benchmarks that want one of their own.
    HRESULT Open(const wchar_t* name = kNamedFrameExchangeName);
    bool IsOpen() const { return m_header != nullptr; }

    // Stores one frame as the latest, under the guard's writer lock and as
    // one change. E_INVALIDARG for a description NamedFrameBytes refuses or
    // missing bytes, E_HANDLE when not open, HRESULT_FROM_WIN32(ERROR_TIMEOUT)
    // when the lock cannot be had within kWriterLockTimeoutMs. Producers
    // leave copiedFromImage 0; a copy (non-zero) is not stored (S_FALSE)
    // while a directly written frame is fresh.
    HRESULT WriteFrame(LONG width, LONG height, NamedFrameFormat format, LONG stride, DWORD frameRate,
                       const BYTE* bytes, DWORD copiedFromImage = 0);
    // WriteFrame that lets fill(BYTE* frame) write the frame's
    // NamedFrameBytes bytes into the mapping itself, under the lock, so that
    // a producer that converts its pictures (YUY2 to NV12, say) makes one
    // pass instead of a conversion and a copy. Keep fill short: readers wait
    // for it (for at most kReaderLockTimeoutMs, then they drop the frame).
    template <typename Fill>
    HRESULT WriteFrameWith(LONG width, LONG height, NamedFrameFormat format, LONG stride, DWORD frameRate,
                           Fill&& fill, DWORD copiedFromImage = 0);

    // Calls consume(const NamedFrameInfo&, const BYTE* frame) with the latest
    // frame while it is fresh, on the mapping itself; the take starts again
    // (and consume runs again) when a writer changed the frame meanwhile.
    // Busy: a change stayed under way for kReaderLockTimeoutMs, and what
    // consume got is to be dropped. Not open: Standby.
    template <typename Consume>
    FrameTake ReadLatest(Consume&& consume);
    // ReadLatest into a buffer of `room` bytes; a frame that does not fit is
    // taken as none (Standby).
    FrameTake ReadLatest(NamedFrameInfo* info, BYTE* buffer, size_t room);

    NamedFrameHeader* Header() const { return m_header; }
    BYTE* Frame() const { return reinterpret_cast<BYTE*>(m_header) + kNamedFrameOffset; }

private:
    // Whether a copy from an image must leave the frame there alone; with
    // the lock held.
    bool KeepsDirectFrame(DWORD copiedFromImage) const;
    // Stores the description of the frame being written; within a change.
    void Describe(LONG width, LONG height, NamedFrameFormat format, LONG stride, DWORD frameRate, DWORD frameBytes,
                  DWORD copiedFromImage);

    struct ViewTraits {
        using Handle = void*;
        static Handle Invalid() { return nullptr; }
        static bool IsValid(Handle h) { return h != nullptr; }
        static void Close(Handle h) { ::UnmapViewOfFile(h); }
    };

    UniqueHandle m_mapping;
    UniqueHandleT<ViewTraits> m_view;
    NamedFrameHeader* m_header = nullptr;
};

template <typename Fill>
HRESULT CNamedFrameExchange::WriteFrameWith(LONG width, LONG height, NamedFrameFormat format, LONG stride,
                                            DWORD frameRate, Fill&& fill, DWORD copiedFromImage) {
    if (!m_header) return E_HANDLE;
    const DWORD frameBytes = NamedFrameBytes(width, height, format, stride);
    if (frameBytes == 0) return E_INVALIDARG;
    CFrameWriterLock lock(m_header->guard, kWriterLockTimeoutMs);
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    if (KeepsDirectFrame(copiedFromImage)) return S_FALSE;
    lock.WaitForReaders();
    lock.BeginChange();
    Describe(width, height, format, stride, frameRate, frameBytes, copiedFromImage);
    fill(Frame());
    lock.EndChange();
    return S_OK;
}

template <typename Consume>
FrameTake CNamedFrameExchange::ReadLatest(Consume&& consume) {
    if (!m_header) return FrameTake::Standby;
    NamedFrameHeader& header = *m_header;
    const volatile NamedFrameHeader& fields = header;
    CFrameGuardReader reader(header.guard, header.hasFrame, header.writeTick);
    for (;;) {
        if (!reader.Begin()) return FrameTake::Busy;
        const DWORD now = ::GetTickCount();
        const bool held = fields.hasFrame != 0;
        const NamedFrameInfo info = {fields.width, fields.height, static_cast<NamedFrameFormat>(fields.pixelFormat),
                                     fields.stride, fields.frameRate, fields.frameBytes, fields.copiedFromImage};
        // A foreign producer's description is checked like a writer's: the
        // consumer can trust it to lie within the mapping.
        const bool fresh = held && !IsFrameStale(now, fields.writeTick) &&
                           info.frameBytes != 0 &&
                           info.frameBytes == NamedFrameBytes(info.width, info.height, info.format, info.stride);
        if (fresh) consume(info, static_cast<const BYTE*>(Frame()));
        if (!reader.Unchanged()) continue;
        if (fresh) return FrameTake::Injected;
        if (held && IsFrameStale(now, fields.writeTick)) reader.ClearStaleFrame();
        return FrameTake::Standby;
    }
}
