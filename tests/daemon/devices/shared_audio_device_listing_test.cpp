// The shared listing with a lister of the test's own: a listing that hangs
// (a driver stuck in its graph) parks no greeting, and a later call lists again.
#include "daemon/devices/shared_audio_device_listing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::wstring>;

const ULONGLONG kShortWaitMs = 300;
// Generous: only a session that never returns fails it.
const auto kReturnsWithin = std::chrono::seconds(20);

// Lists `names`; while held, a listing hangs until released.
class TestLister {
public:
    void Hold() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_held = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_held = false;
        }
        m_released.notify_all();
    }
    void SetNames(Names names) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_names = std::move(names);
    }
    int Calls() const { return m_calls.load(); }

    SharedAudioDeviceListing::Lister Function() {
        return [this](Names& out) {
            ++m_calls;
            std::unique_lock<std::mutex> lock(m_mutex);
            m_released.wait(lock, [this] { return !m_held; });
            out = m_names;
        };
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
    Names m_names;
    std::atomic<int> m_calls{0};
};

struct StuckCase {
    const char* what;
    Names before;  // what a listing that finished earlier found (none: no listing before)
};

TEST(SharedAudioDeviceListing, StuckListingParksNoGreetingAndIsRetriedOnceItHasEnded) {
    const StuckCase cases[] = {
        {"nothing listed before", {}},
        {"names listed before", {L"麦克风 一", L"Line In"}},
    };
    for (const StuckCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestLister lister;
        SharedAudioDeviceListing listing(lister.Function(), kShortWaitMs);
        if (!c.before.empty()) {
            lister.SetNames(c.before);
            ASSERT_EQ(listing.Names(), c.before);
            ::Sleep(static_cast<DWORD>(kListingReuseMs + 100));
        }
        const int callsBefore = lister.Calls();
        lister.SetNames({L"late"});
        lister.Hold();
        auto stuck = std::async(std::launch::async, [&] { return listing.Names(); });
        while (lister.Calls() == callsBefore) ::Sleep(10);

        // Both come back while the listing still hangs: one that waited for
        // it, and one that came after its wait had passed.
        auto waited = std::async(std::launch::async, [&] { return listing.Names(); });
        ASSERT_EQ(waited.wait_for(kReturnsWithin), std::future_status::ready) << "a greeting is parked";
        EXPECT_EQ(waited.get(), c.before);
        auto later = std::async(std::launch::async, [&] { return listing.Names(); });
        ASSERT_EQ(later.wait_for(kReturnsWithin), std::future_status::ready) << "a later greeting is parked";
        EXPECT_EQ(later.get(), c.before);
        EXPECT_EQ(lister.Calls(), callsBefore + 1) << "a second listing ran beside the stuck one";

        lister.Release();
        EXPECT_EQ(stuck.get(), Names{L"late"});
        // Once the stuck listing's names have aged, the next greeting lists again.
        ::Sleep(static_cast<DWORD>(kListingReuseMs + 100));
        lister.SetNames({L"again"});
        EXPECT_EQ(listing.Names(), Names{L"again"});
        EXPECT_EQ(lister.Calls(), callsBefore + 2);
    }
}

}  // namespace
