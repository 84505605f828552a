#pragma once
// The daemon's one source of pictures for every watching session: a thread
// that looks at the frame exchange, takes a copy of a new frame when some
// session is due for one, scales and encodes it once for each width that is
// due, and offers the result to every due session of that width. It runs
// only while some session watches.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "common/non_copyable.h"

class CPictureWatch;
struct PictureHubWork;

class CPictureHub : private CNonCopyable {
public:
    CPictureHub() = default;
    ~CPictureHub();

    void Join(CPictureWatch& watch);
    // Once this returns, the hub never touches the watch again.
    void Leave(CPictureWatch& watch);
    // A watch changed what it asked for.
    void Wake();

private:
    void Run();
    // Offers one round of pictures; false when no session was due.
    bool Serve(PictureHubWork& work);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<CPictureWatch*> m_watches;
    std::thread m_thread;
    bool m_stop = false;
    bool m_woken = false;
};

CPictureHub& ThePictureHub();
