#include "daemon/picture/exchange_picture_reader.h"

#include <cstring>

namespace {

const ULONGLONG kReopenAfterMs = 1000;

}  // namespace

bool CExchangePictureReader::EnsureOpen() {
    if (m_exchange.IsOpen()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now < m_nextOpen) return false;
    m_nextOpen = now + kReopenAfterMs;
    return SUCCEEDED(m_name ? m_exchange.Open(m_name) : m_exchange.Open());
}

CExchangePictureReader::Glance CExchangePictureReader::Look() {
    Glance glance;
    if (!EnsureOpen()) return glance;
    const volatile NamedFrameHeader& header = *m_exchange.Header();
    glance.frameCount = header.frameCount;
    glance.fresh = header.hasFrame != 0 && !IsFrameStale(::GetTickCount(), header.writeTick);
    return glance;
}

bool CExchangePictureReader::Take(PictureView& picture, DWORD& frameCount) {
    if (!EnsureOpen()) return false;
    NamedFrameInfo taken = {};
    DWORD count = 0;
    const volatile NamedFrameHeader& header = *m_exchange.Header();
    const FrameTake take = m_exchange.ReadLatest([&](const NamedFrameInfo& info, const BYTE* frame) {
        if (m_copy.size() < info.frameBytes) m_copy.resize(info.frameBytes);
        std::memcpy(m_copy.data(), frame, info.frameBytes);
        taken = info;
        count = header.frameCount;
    });
    if (take != FrameTake::Injected) return false;
    picture = PictureView{taken.width, taken.height, taken.format, taken.stride, m_copy.data()};
    frameCount = count;
    return true;
}
