#include "daemon/picture/picture_hub.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "common/com_apartment.h"
#include "daemon/picture/exchange_picture_reader.h"
#include "daemon/picture/jpeg_encoder.h"
#include "daemon/picture/picture_scaling.h"
#include "daemon/picture/picture_watch.h"
#include "daemon/picture/standby_bitmap.h"

namespace {

// How often the exchange's header is looked at: a third of a frame at 30
// fps, which bounds the delay a frame waits before its picture is made.
const auto kLookEvery = std::chrono::milliseconds(10);

}  // namespace

using Jpeg = std::shared_ptr<const std::string>;

// The hub thread's own state: the reader, the encoder and the stand-by
// pictures already encoded, one for each width asked.
struct PictureHubWork {
    CExchangePictureReader reader;
    CJpegEncoder encoder;
    std::vector<BYTE> scaled;
    std::map<unsigned, Jpeg> standby;

    Jpeg Encode(const PictureView& picture, unsigned width) {
        const LONG height = ScaledHeight(picture, static_cast<LONG>(width));
        ScaleToBgr(picture, static_cast<LONG>(width), height, scaled);
        auto jpeg = std::make_shared<std::string>();
        if (FAILED(encoder.Encode(scaled.data(), width, static_cast<UINT>(height), *jpeg))) return nullptr;
        return jpeg;
    }

    Jpeg Standby(unsigned width) {
        auto found = standby.find(width);
        if (found != standby.end()) return found->second;
        const PictureView& picture = StandbyPicture();
        Jpeg jpeg = picture.bytes ? Encode(picture, width) : nullptr;
        if (jpeg) standby[width] = jpeg;
        return jpeg;
    }
};

CPictureHub::~CPictureHub() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CPictureHub::Join(CPictureWatch& watch) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_watches.push_back(&watch);
        m_woken = true;
        if (!m_thread.joinable()) m_thread = std::thread(&CPictureHub::Run, this);
    }
    m_changed.notify_all();
}

void CPictureHub::Leave(CPictureWatch& watch) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_watches.erase(std::remove(m_watches.begin(), m_watches.end(), &watch), m_watches.end());
}

void CPictureHub::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_changed.notify_all();
}

bool CPictureHub::Serve(PictureHubWork& work) {
    const CExchangePictureReader::Glance glance = work.reader.Look();
    const ULONGLONG now = ::GetTickCount64();
    auto dueWidths = [&](PictureSource source, DWORD frameCount) {
        std::vector<unsigned> widths;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (CPictureWatch* watch : m_watches)
            if (watch->Wants(now, source, frameCount)) widths.push_back(watch->Width());
        std::sort(widths.begin(), widths.end());
        widths.erase(std::unique(widths.begin(), widths.end()), widths.end());
        return widths;
    };

    PictureSource source = glance.fresh ? PictureSource::Camera : PictureSource::Standby;
    DWORD frameCount = glance.fresh ? glance.frameCount : 0;
    std::vector<unsigned> widths = dueWidths(source, frameCount);
    if (widths.empty()) return false;
    PictureView picture;
    if (source == PictureSource::Camera && !work.reader.Take(picture, frameCount)) {
        // The frame went stale (or a writer kept it) since the glance.
        source = PictureSource::Standby;
        frameCount = 0;
        widths = dueWidths(source, frameCount);
    }

    std::map<unsigned, Jpeg> pictures;
    for (unsigned width : widths) {
        Jpeg jpeg = source == PictureSource::Camera ? work.Encode(picture, width) : work.Standby(width);
        if (jpeg) pictures[width] = std::move(jpeg);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CPictureWatch* watch : m_watches) {
        auto found = pictures.find(watch->Width());
        if (found != pictures.end() && watch->Wants(now, source, frameCount))
            watch->Offer(found->second, source, frameCount, now);
    }
    return true;
}

void CPictureHub::Run() {
    ScopedComApartment apartment(COINIT_MULTITHREADED);
    PictureHubWork work;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_watches.empty()) {
            m_changed.wait(lock, [this] { return m_stop || !m_watches.empty(); });
            continue;
        }
        m_woken = false;
        lock.unlock();
        try {
            Serve(work);
        } catch (...) {
            // Out of memory at worst: this round's pictures are not made.
        }
        lock.lock();
        m_changed.wait_for(lock, kLookEvery, [this] { return m_stop || m_woken; });
    }
}

CPictureHub& ThePictureHub() {
    // Deliberately leaked: sessions may still leave it during exit.
    static CPictureHub* hub = new CPictureHub();
    return *hub;
}
