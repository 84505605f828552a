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

CNamedFrameExchange* CLazyNamedFrameExchange::Get() {
    if (CNamedFrameExchange* exchange = m_opened.load(std::memory_order_acquire)) return exchange;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (CNamedFrameExchange* exchange = m_opened.load(std::memory_order_acquire)) return exchange;
    const DWORD now = ::GetTickCount();
    if (m_tried && now - m_lastTry < kNamedExchangeRetryMs) return nullptr;
    m_tried = true;
    m_lastTry = now;
    if (FAILED(m_exchange.Open(m_name.c_str()))) return nullptr;
    m_opened.store(&m_exchange, std::memory_order_release);
    return &m_exchange;
}

DWORD CameraImageId() {
    static const DWORD id = ComputeImageId();
    return id;
}

HRESULT WriteRecordAndExchange(FrameExchange& record, FrameExchangeGuard& guard, CNamedFrameExchange* exchange,
                               const BYTE* data, LONG length) {
    constexpr LONG kRecordWidth = 640;
    constexpr LONG kRecordHeight = 480;
    constexpr LONG kRecordStride = kRecordWidth * 3;
    constexpr DWORD kRecordFrameRate = 15;
    const HRESULT hr = WriteFrameExchange(record, guard, data, length);
    // A part of a picture means nothing outside this record's own rules.
    if (hr != S_OK || length != kRecordStride * kRecordHeight) return hr;
    if (exchange)
        exchange->WriteFrame(kRecordWidth, kRecordHeight, NamedFrameFormat::RGB24, kRecordStride, kRecordFrameRate,
                             data, CameraImageId());
    return hr;
}
