#include "daemon/web/open_connections.h"

void OpenConnections::Add(const std::shared_ptr<SharedSocket>& connection) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_connections.insert(connection);
}

void OpenConnections::Remove(const std::shared_ptr<SharedSocket>& connection) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_connections.erase(connection);
}

void OpenConnections::ShutdownAll() {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const auto& connection : m_connections) connection->Shutdown();
}
