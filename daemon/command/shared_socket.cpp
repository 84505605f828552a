#include "daemon/command/shared_socket.h"

SOCKET SharedSocket::get() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_socket;
}

void SharedSocket::Close() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_socket == INVALID_SOCKET) return;
    ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

void SharedSocket::Shutdown() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_socket != INVALID_SOCKET) ::shutdown(m_socket, SD_BOTH);
}
