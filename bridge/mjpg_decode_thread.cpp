#include "bridge/mjpg_decode_thread.h"

#include "common/com_apartment.h"

CMjpgDecodeThread::CMjpgDecodeThread(int width, int height, Deliver deliver)
    : m_width(width), m_height(height), m_deliver(std::move(deliver)), m_thread([this] { Run(); }) {}

CMjpgDecodeThread::~CMjpgDecodeThread() { Stop(); }

void CMjpgDecodeThread::Submit(const BYTE* jpeg, size_t length, LONGLONG arrived) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopping) return;
    if (m_hasPending) ++m_replaced;
    // assign keeps the buffer's capacity: no allocation once it has grown.
    m_pending.assign(jpeg, jpeg + length);
    m_pendingArrived = arrived;
    m_hasPending = true;
    m_wake.notify_one();
}

void CMjpgDecodeThread::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable()) m_thread.join();
}

LONG CMjpgDecodeThread::Replaced() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_replaced;
}

JpegDecodePath CMjpgDecodeThread::LastPath() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastPath;
}

void CMjpgDecodeThread::Run() {
    // WIC's objects are free-threaded; the multithreaded apartment spares
    // them any marshalling.
    ScopedComApartment com(COINIT_MULTITHREADED);
    CJpegDecoder decoder;
    const bool opened = SUCCEEDED(com.Result()) && SUCCEEDED(decoder.Open());
    std::vector<BYTE> jpeg;
    std::vector<BYTE> picture(static_cast<size_t>(m_width) * m_height * 3 / 2);
    for (;;) {
        LONGLONG arrived = 0;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return m_stopping || m_hasPending; });
            if (m_stopping) return;
            // Swapped, not copied: the streaming thread fills the other
            // buffer next time.
            jpeg.swap(m_pending);
            arrived = m_pendingArrived;
            m_hasPending = false;
        }
        const bool decoded =
            opened && decoder.Decode(jpeg.data(), jpeg.size(), m_width, m_height, picture.data()) == S_OK;
        if (decoded) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lastPath = decoder.LastPath();
        }
        m_deliver(decoded ? picture.data() : nullptr, arrived);
    }
}
