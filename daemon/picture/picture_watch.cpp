#include "daemon/picture/picture_watch.h"

#include "daemon/picture/picture_hub.h"
#include "daemon/text/diagnostics.h"

namespace {

// The stand-by picture never changes: it goes out once a second, whatever
// the rate, so that a page sees the daemon still answers.
const ULONGLONG kStandbyEveryMs = 1000;

// What the system may hold for a watching session: a send returns once its
// bytes are buffered, and a growing buffer (megabytes on loopback) would be
// a queue of seconds of old pictures for a client that reads slowly. With a
// small one the picture in flight stays in flight until the client reads.
const int kWatchingSendBufferBytes = 64 * 1024;

// Printed when a session that watched ends.
const char kPictureTotalsText[] = "pictures: %llu sent, %llu dropped\n";

const char* SourceName(PictureSource source) { return source == PictureSource::Camera ? "camera" : "standby"; }

}  // namespace

CPictureWatch::CPictureWatch(SOCKET socket, Send sendBinary, Send sendText)
    : m_socket(socket), m_sendBinary(std::move(sendBinary)), m_sendText(std::move(sendText)) {}

CPictureWatch::~CPictureWatch() { Stop(); }

bool CPictureWatch::TakeRequest(const std::string& message) {
    PictureRequest request;
    switch (ParsePictureRequest(message, request)) {
    case PictureRequestParse::NotPicture:
        return false;
    case PictureRequestParse::Invalid:
        return true;
    case PictureRequestParse::Valid:
        break;
    }
    Apply(request);
    return true;
}

void CPictureWatch::Apply(const PictureRequest& request) {
    bool join = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop) return;
        m_request = request;
        m_nextDue = 0;
        if (request.rate == 0) m_pending.reset();
        // Sessions that never ask have neither a thread nor a place in the hub.
        if (request.rate != 0 && !m_joined) {
            m_joined = join = true;
            ::setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kWatchingSendBufferBytes),
                         sizeof(kWatchingSendBufferBytes));
            m_thread = std::thread(&CPictureWatch::Run, this);
        }
    }
    if (join) ThePictureHub().Join(*this);
    else ThePictureHub().Wake();
}

void CPictureWatch::Stop() {
    bool joined;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        joined = m_joined;
        m_stop = true;
        m_pending.reset();
    }
    if (!joined) return;
    ThePictureHub().Leave(*this);
    m_ready.notify_all();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_joined = false;
    PrintFormat(kPictureTotalsText, m_sent, m_dropped);
}

unsigned long long CPictureWatch::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

unsigned CPictureWatch::Width() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_request.width;
}

bool CPictureWatch::Wants(ULONGLONG now, PictureSource source, DWORD frameCount) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop || m_broken || m_request.rate == 0 || now < m_nextDue) return false;
    if (!m_offered || source != m_lastSource) return true;
    if (source == PictureSource::Camera) return frameCount != m_lastFrameCount;
    return now - m_lastOffer >= kStandbyEveryMs;
}

void CPictureWatch::Offer(const std::shared_ptr<const std::string>& jpeg, PictureSource source, DWORD frameCount,
                          ULONGLONG now) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop || m_broken || m_request.rate == 0) return;
        // One grid of the asked interval for every watcher of that rate, from
        // the tick count's zero: watchers of one rate and width are due at
        // the same frame and share its picture, and a frame that comes a
        // little late in its slot does not lower the rate.
        const ULONGLONG interval = 1000 / m_request.rate;
        m_nextDue = (now / interval + 1) * interval;
        m_offered = true;
        m_lastOffer = now;
        m_lastSource = source;
        m_lastFrameCount = frameCount;
        if (m_pending || m_inFlight) {
            ++m_dropped;
            return;
        }
        m_pending = jpeg;
        m_pendingSource = source;
    }
    m_ready.notify_one();
}

void CPictureWatch::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_ready.wait(lock, [this] { return m_stop || m_pending; });
        if (m_stop) return;
        const std::shared_ptr<const std::string> jpeg = std::move(m_pending);
        m_pending.reset();
        const PictureSource source = m_pendingSource;
        const bool notice = !m_noticeSent || source != m_noticedSource;
        m_inFlight = true;
        lock.unlock();
        bool sent = true;
        try {
            if (notice)
                sent = m_sendText(std::string("{\"type\":\"picture\",\"source\":\"") + SourceName(source) + "\"}");
            if (sent) sent = m_sendBinary(*jpeg);
        } catch (...) {
            sent = false;  // out of memory at worst
        }
        lock.lock();
        m_inFlight = false;
        if (notice && sent) {
            m_noticeSent = true;
            m_noticedSource = source;
        }
        // A frame cut short leaves the stream unreadable: nothing more goes out.
        if (sent) ++m_sent;
        else m_broken = true;
    }
}
