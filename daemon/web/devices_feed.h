#pragma once
// The device list for one WebSocket client (daemon/web/devices_message.h):
// sent at once when the feed is made (the session has just sent its
// greeting), then again, from a thread of its own, whenever the shared
// camera listing says devices came or went. Neither the session's thread
// nor the feed's lists anything themselves (the shared listing's watch
// does), so a session never waits for a listing once the first has ended.
#include "common/non_copyable.h"
#include "daemon/web/websocket_connection.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class CDevicesFeed : private CNonCopyable {
public:
    // microphones: the greeting's, which the first list repeats.
    CDevicesFeed(WebSocketConnection& connection, const std::vector<std::wstring>& microphones);
    ~CDevicesFeed();

private:
    void Run(uint64_t seen, std::vector<std::wstring> microphones);

    WebSocketConnection& m_connection;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
