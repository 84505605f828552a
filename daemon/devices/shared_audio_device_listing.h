#pragma once
// One device listing for many greetings. A listing runs a graph per
// microphone and takes a noticeable time; every connection running its own
// made a burst of connections (a page reloading, a reconnect loop) queue
// behind each other's listings. A listing that hangs (a driver stuck in its
// graph) must not park the greetings: they go out with the names known.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A listing that finished this recently is reused.
const ULONGLONG kListingReuseMs = 2000;
// Longer than any listing takes; a greeting waits no longer for one.
const ULONGLONG kListingLongestWaitMs = 30000;

// "audio device listing": printed as each listing begins.
extern const char kListingBeginsText[];

class SharedAudioDeviceListing {
public:
    using Lister = std::function<void(std::vector<std::wstring>&)>;

    // lister: appends the working devices' names (ListWorkingAudioDevices by default).
    explicit SharedAudioDeviceListing(Lister lister = Lister(), ULONGLONG longestWaitMs = kListingLongestWaitMs);

    // The working devices' names as the platform gives them. Reuses a
    // listing that finished within kListingReuseMs. While one runs, waits
    // for it, but only until it has run for the longest wait: after that
    // the names of the last listing that finished (or none) are the answer,
    // at once, and the first call after the stuck listing has ended lists again.
    std::vector<std::wstring> Names();

private:
    Lister m_lister;
    const ULONGLONG m_longestWaitMs;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_running = false;
    ULONGLONG m_startedTick = 0;
    bool m_haveNames = false;
    ULONGLONG m_finishedTick = 0;
    std::vector<std::wstring> m_names;
};

SharedAudioDeviceListing& TheAudioDeviceListing();
