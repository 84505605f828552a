#pragma once
// The web endpoint's open connections, so that its stop can end them all.
#include "daemon/command/shared_socket.h"

#include <memory>
#include <mutex>
#include <set>

class OpenConnections {
public:
    // False when kMaxSessionsPerPort connections are open already: the
    // connection is then turned away.
    bool Add(const std::shared_ptr<SharedSocket>& connection);
    void Remove(const std::shared_ptr<SharedSocket>& connection);
    // Wakes every connection's thread; each then ends as if its client had gone.
    void ShutdownAll();

private:
    std::mutex m_mutex;
    std::set<std::shared_ptr<SharedSocket>> m_connections;
};
