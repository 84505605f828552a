#include "common/named_frame_exchange.h"

#include <cstring>

DWORD NamedFrameBytes(LONG width, LONG height, NamedFrameFormat format, LONG stride) {
    if (width < 2 || width > kNamedFrameMaxWidth || height < 2 || height > kNamedFrameMaxHeight) return 0;
    long long bytes = 0;
    switch (format) {
    case NamedFrameFormat::NV12:
        if ((width | height) & 1 || stride < width) return 0;
        bytes = static_cast<long long>(stride) * height * 3 / 2;
        break;
    case NamedFrameFormat::RGB24:
        if (stride < width * 3) return 0;
        bytes = static_cast<long long>(stride) * height;
        break;
    default:
        return 0;
    }
    return bytes <= kNamedFrameCapacity ? static_cast<DWORD>(bytes) : 0;
}

HRESULT CNamedFrameExchange::Open(const wchar_t* name) {
    if (m_header) return S_OK;
    // Pages of a new mapping are zero: a guard at rest and no frame.
    CExchangeSecurity security;
    UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                              kNamedFrameMappingBytes, name));
    if (!mapping) return HRESULT_FROM_WIN32(::GetLastError());
    // Someone else's mapping under the name is not ours to feed or read.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        const HRESULT trust = JudgeExistingMapping(mapping.get());
        if (FAILED(trust)) return trust;
    }
    UniqueHandleT<ViewTraits> view(
        ::MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kNamedFrameMappingBytes));
    if (!view) return HRESULT_FROM_WIN32(::GetLastError());
    auto* header = static_cast<NamedFrameHeader*>(view.get());
    volatile NamedFrameHeader& fields = *header;
    // Two sides may meet a fresh mapping at once; both write the same
    // constants, and the magic goes in last, so that a reader that sees it
    // sees them.
    if (fields.magic == 0) {
        fields.layoutVersion = kNamedFrameLayoutVersion;
        fields.frameOffset = kNamedFrameOffset;
        fields.frameCapacity = kNamedFrameCapacity;
        ::InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&fields.magic), kNamedFrameMagic, 0);
    }
    if (fields.magic != kNamedFrameMagic || fields.layoutVersion != kNamedFrameLayoutVersion ||
        fields.frameOffset != kNamedFrameOffset || fields.frameCapacity != kNamedFrameCapacity)
        return E_FAIL;
    m_mapping = std::move(mapping);
    m_view = std::move(view);
    m_header = header;
    return S_OK;
}

HRESULT CNamedFrameExchange::WriteFrame(LONG width, LONG height, NamedFrameFormat format, LONG stride,
                                        DWORD frameRate, const BYTE* bytes, DWORD copiedFromImage) {
    if (!bytes) return m_header ? E_INVALIDARG : E_HANDLE;
    const DWORD frameBytes = NamedFrameBytes(width, height, format, stride);
    return WriteFrameWith(
        width, height, format, stride, frameRate, [&](BYTE* frame) { std::memcpy(frame, bytes, frameBytes); },
        copiedFromImage);
}

bool CNamedFrameExchange::KeepsDirectFrame(DWORD copiedFromImage) const {
    // The camera copies its 640 x 480 record here for writers that know only
    // the record; a producer that writes here directly (with a bigger
    // picture, as a rule) keeps the exchange while it keeps writing.
    const NamedFrameHeader& header = *m_header;
    return copiedFromImage != 0 && header.hasFrame != 0 && header.copiedFromImage == 0 &&
           !IsFrameStale(::GetTickCount(), header.writeTick);
}

void CNamedFrameExchange::Describe(LONG width, LONG height, NamedFrameFormat format, LONG stride, DWORD frameRate,
                                   DWORD frameBytes, DWORD copiedFromImage) {
    NamedFrameHeader& header = *m_header;
    header.hasFrame = 1;
    header.copiedFromImage = copiedFromImage;
    header.writeTick = ::GetTickCount();
    header.width = width;
    header.height = height;
    header.pixelFormat = static_cast<DWORD>(format);
    header.stride = stride;
    header.frameRate = frameRate;
    header.writerProcessId = ::GetCurrentProcessId();
    header.frameBytes = frameBytes;
    header.frameCount = header.frameCount + 1;
}

FrameTake CNamedFrameExchange::ReadLatest(NamedFrameInfo* info, BYTE* buffer, size_t room) {
    if (!info || !buffer) return FrameTake::Standby;
    bool fits = false;
    const FrameTake take = ReadLatest([&](const NamedFrameInfo& latest, const BYTE* frame) {
        fits = latest.frameBytes <= room;
        if (!fits) return;
        *info = latest;
        std::memcpy(buffer, frame, latest.frameBytes);
    });
    return take == FrameTake::Injected && !fits ? FrameTake::Standby : take;
}
