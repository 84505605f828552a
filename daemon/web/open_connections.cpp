#include "daemon/web/open_connections.h"

#include "daemon/command/session_slots.h"

bool OpenConnections::Add(const std::shared_ptr<SharedSocket>& connection) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_connections.size() >= static_cast<size_t>(kMaxSessionsPerPort)) return false;
    m_connections.insert(connection);
    return true;
}

void OpenConnections::Remove(const std::shared_ptr<SharedSocket>& connection) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_connections.erase(connection);
}

void OpenConnections::ShutdownAll() {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const auto& connection : m_connections) connection->Shutdown();
}
