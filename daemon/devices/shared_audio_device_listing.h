#pragma once
// One device listing for many greetings. A listing runs a graph per
// microphone and takes a noticeable time; every connection running its own
// made a burst of connections (a page reloading, a reconnect loop) queue
// behind each other's listings.
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// A listing that finished this recently is reused.
const ULONGLONG kListingReuseMs = 2000;

class SharedAudioDeviceListing {
public:
    // The working devices' names as the platform gives them. Reuses a
    // listing that finished within kListingReuseMs; while one runs, waits
    // for it instead of running another.
    std::vector<std::wstring> Names();

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_running = false;
    bool m_haveNames = false;
    ULONGLONG m_finishedTick = 0;
    std::vector<std::wstring> m_names;
};

SharedAudioDeviceListing& TheAudioDeviceListing();
