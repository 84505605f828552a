#pragma once
// The publisher's status for one WebSocket client: both objects at once (the
// session has just sent its greeting), then each object whenever it changes,
// and the encoder's every 2 s while it is live, from a thread of its own.
// The objects are JSON and begin with "{", so no client takes them for a
// greeting, a reply or a level word.
#include "common/non_copyable.h"
#include "daemon/web/websocket_connection.h"

#include <windows.h>

#include <atomic>
#include <thread>

class CStatusFeed : private CNonCopyable {
public:
    explicit CStatusFeed(WebSocketConnection& connection);
    ~CStatusFeed();

private:
    void Run();

    WebSocketConnection& m_connection;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
