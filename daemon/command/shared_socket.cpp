#include "daemon/command/shared_socket.h"

#include "daemon/command/send_all_bytes.h"

#include <mutex>

SOCKET SharedSocket::get() {
    std::shared_lock<std::shared_mutex> guard(m_mutex);
    return m_socket;
}

bool SharedSocket::Send(const std::string& bytes) {
    std::shared_lock<std::shared_mutex> guard(m_mutex);
    return m_socket != INVALID_SOCKET && SendAllBytes(m_socket, bytes);
}

void SharedSocket::Close() {
    std::unique_lock<std::shared_mutex> guard(m_mutex);
    if (m_socket == INVALID_SOCKET) return;
    ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

void SharedSocket::Shutdown() {
    std::shared_lock<std::shared_mutex> guard(m_mutex);
    if (m_socket != INVALID_SOCKET) ::shutdown(m_socket, SD_BOTH);
}

void SharedSocket::ShutdownSend() {
    std::shared_lock<std::shared_mutex> guard(m_mutex);
    if (m_socket != INVALID_SOCKET) ::shutdown(m_socket, SD_SEND);
}
