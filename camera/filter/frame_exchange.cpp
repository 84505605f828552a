#include "camera/filter/frame_exchange.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "camera/filter/shared_section.h"

namespace {

QV_SHARED_DATA(".zrcamer") FrameExchange g_frameExchange = {};
// A section of its own keeps the record's section exactly as it is, and
// starts the lock word on a page boundary, as its interlocked use needs.
QV_SHARED_DATA(".zrguard") FrameExchangeGuard g_frameGuard = {};

// The image's name in the named exchange: its file's path, hashed (FNV-1a
// over the upper-cased path). Processes that load one file share its record
// and agree on the name; another file is another image.
DWORD ComputeImageId() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&g_frameExchange), &module);
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    ::CharUpperBuffW(path, length);
    DWORD hash = 2166136261u;
    for (DWORD i = 0; i < length; ++i) {
        hash = (hash ^ (path[i] & 0xFF)) * 16777619u;
        hash = (hash ^ (path[i] >> 8)) * 16777619u;
    }
    return hash != 0 ? hash : 1;  // 0 names a direct write
}

// A named exchange that could not be opened is tried again after this long.
constexpr DWORD kNamedExchangeRetryMs = 1000;

}  // namespace

FrameExchange& SharedFrameExchange() { return g_frameExchange; }
FrameExchangeGuard& SharedFrameGuard() { return g_frameGuard; }

HRESULT WriteFrameExchange(FrameExchange& record, FrameExchangeGuard& guard, const BYTE* data, LONG length) {
    if (length < 0 || length > kFrameCapacity || (data == nullptr && length != 0)) return E_INVALIDARG;
    CFrameWriterLock lock(guard, kWriterLockTimeoutMs);
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    lock.WaitForReaders();
    lock.BeginChange();
    record.hasFrame = 1;
    record.writeTick = ::GetTickCount();
    record.frameLength = length;
    if (length > 0) std::memcpy(record.frameData, data, static_cast<size_t>(length));
    lock.EndChange();
    return S_OK;
}

CNamedFrameExchange* SessionNamedFrameExchange() {
    static std::atomic<CNamedFrameExchange*> opened{nullptr};
    if (CNamedFrameExchange* exchange = opened.load(std::memory_order_acquire)) return exchange;
    static std::mutex mutex;
    static CNamedFrameExchange exchange;
    static DWORD lastTry = 0;
    static bool tried = false;
    std::lock_guard<std::mutex> lock(mutex);
    // Every sample asks; a mapping that cannot be had (another layout under
    // the name, no memory) is tried again once a second, not every time.
    const DWORD now = ::GetTickCount();
    if (tried && now - lastTry < kNamedExchangeRetryMs) return nullptr;
    tried = true;
    lastTry = now;
    if (FAILED(exchange.Open())) return nullptr;
    opened.store(&exchange, std::memory_order_release);
    return &exchange;
}

DWORD CameraImageId() {
    static const DWORD id = ComputeImageId();
    return id;
}

HRESULT WriteCameraFrame(const BYTE* data, LONG length) {
    constexpr LONG kRecordWidth = 640;
    constexpr LONG kRecordHeight = 480;
    constexpr LONG kRecordStride = kRecordWidth * 3;
    constexpr DWORD kRecordFrameRate = 15;
    const HRESULT hr = WriteFrameExchange(SharedFrameExchange(), data, length);
    // A part of a picture means nothing outside this record's own rules.
    if (hr != S_OK || length != kRecordStride * kRecordHeight) return hr;
    if (CNamedFrameExchange* exchange = SessionNamedFrameExchange())
        exchange->WriteFrame(kRecordWidth, kRecordHeight, NamedFrameFormat::RGB24, kRecordStride, kRecordFrameRate,
                             data, CameraImageId());
    return hr;
}
