#pragma once
// One WebSocket session's pictures: what it asked for, the one picture that
// may be on its way to it, and the thread that sends it, so that a session
// that reads slowly holds up nobody but itself. Pictures that arrive while
// one is still in flight are dropped and counted: a slow receiver gets
// fewer pictures, never a queue.
//
// Before the first picture from another source than the last, the session
// gets the text {"type":"picture","source":"camera"} (or "standby"), JSON
// like the status objects, so that a page can say what is going out.
#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/non_copyable.h"
#include "daemon/picture/picture_request.h"
#include "daemon/picture/picture_view.h"

class CPictureWatch : private CNonCopyable {
public:
    // Both go through the connection's own guarded send, serialised with
    // its status feed and replies; false once the client is gone.
    using Send = std::function<bool(const std::string&)>;
    // socket: the session's, only to bound what the system buffers for it.
    CPictureWatch(SOCKET socket, Send sendBinary, Send sendText);
    ~CPictureWatch();

    // True when the message was a picture request (carried out when valid,
    // ignored when not); false for every other message.
    bool TakeRequest(const std::string& message);
    // No picture is sent once this returns; call it before the socket closes.
    void Stop();
    unsigned long long Dropped() const;

    // For the hub, which calls these under its own lock.
    unsigned Width() const;
    // Whether a picture from `source` (for the camera, its frame count) is
    // one to give this session now.
    bool Wants(ULONGLONG now, PictureSource source, DWORD frameCount) const;
    void Offer(const std::shared_ptr<const std::string>& jpeg, PictureSource source, DWORD frameCount, ULONGLONG now);

private:
    void Apply(const PictureRequest& request);
    void Run();

    SOCKET m_socket;
    Send m_sendBinary;
    Send m_sendText;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::thread m_thread;
    bool m_stop = false;
    bool m_joined = false;  // a member of the hub
    bool m_broken = false;  // a send failed: the connection is of no more use

    PictureRequest m_request;
    ULONGLONG m_nextDue = 0;
    ULONGLONG m_lastOffer = 0;
    bool m_offered = false;
    PictureSource m_lastSource = PictureSource::Standby;
    DWORD m_lastFrameCount = 0;

    std::shared_ptr<const std::string> m_pending;
    PictureSource m_pendingSource = PictureSource::Standby;
    bool m_inFlight = false;
    bool m_noticeSent = false;
    PictureSource m_noticedSource = PictureSource::Standby;
    unsigned long long m_sent = 0;
    unsigned long long m_dropped = 0;
};
