#include "tests/daemon/command/wire_client.h"

#include <ws2tcpip.h>

#include <mutex>

#include "daemon/command/send_all_bytes.h"

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

uint64_t NowMs() { return ::GetTickCount64(); }

WireClient::WireClient() { StartWinsock(); }

WireClient::~WireClient() { Close(); }

WireClient::WireClient(WireClient&& other) noexcept
    : m_socket(other.m_socket), m_pending(std::move(other.m_pending)), m_ended(other.m_ended) {
    other.m_socket = INVALID_SOCKET;
}

bool WireClient::Connect(uint16_t port, DWORD timeoutMs) {
    Close();
    m_pending.clear();
    m_ended = false;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    // Non-blocking connect, so that the wait has a limit.
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (rc != 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
        ::closesocket(s);
        return false;
    }
    if (rc != 0) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = {static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
        if (::select(0, nullptr, &writable, &failed, &limit) != 1 || !FD_ISSET(s, &writable)) {
            ::closesocket(s);
            return false;
        }
        int error = 0;
        int length = sizeof(error);
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        if (error != 0) {
            ::closesocket(s);
            return false;
        }
    }
    u_long blocking = 0;
    ::ioctlsocket(s, FIONBIO, &blocking);
    BOOL noDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
    m_socket = s;
    return true;
}

bool WireClient::Send(const std::string& bytes) {
    return m_socket != INVALID_SOCKET && SendAllBytes(m_socket, bytes);
}

bool WireClient::ReceiveSome(DWORD timeoutMs) {
    if (m_socket == INVALID_SOCKET || m_ended) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval limit = {static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    if (::select(0, &readable, nullptr, nullptr, &limit) != 1) return false;
    char chunk[4096];
    int n = ::recv(m_socket, chunk, sizeof(chunk), 0);
    if (n <= 0) {
        m_ended = true;
        return false;
    }
    m_pending.append(chunk, static_cast<size_t>(n));
    return true;
}

std::string WireClient::Read(size_t count, DWORD timeoutMs) {
    const uint64_t deadline = NowMs() + timeoutMs;
    while (m_pending.size() < count && !m_ended) {
        const uint64_t now = NowMs();
        if (now >= deadline) break;
        ReceiveSome(static_cast<DWORD>(deadline - now));
    }
    std::string taken = m_pending.substr(0, count);
    m_pending.erase(0, taken.size());
    return taken;
}

bool WireClient::ReadMessage(std::string& message, DWORD timeoutMs) {
    const uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        size_t nul = m_pending.find('\0');
        if (nul != std::string::npos) {
            message = m_pending.substr(0, nul + 1);
            m_pending.erase(0, nul + 1);
            return true;
        }
        const uint64_t now = NowMs();
        if (m_ended || now >= deadline) {
            message = m_pending;
            m_pending.clear();
            return false;
        }
        ReceiveSome(static_cast<DWORD>(deadline - now));
    }
}

std::string WireClient::ReadFor(DWORD ms) {
    const uint64_t deadline = NowMs() + ms;
    for (;;) {
        const uint64_t now = NowMs();
        if (m_ended || now >= deadline) break;
        ReceiveSome(static_cast<DWORD>(deadline - now));
    }
    std::string taken;
    taken.swap(m_pending);
    return taken;
}

bool WireClient::WaitForEnd(DWORD timeoutMs, std::string* rest) {
    const uint64_t deadline = NowMs() + timeoutMs;
    while (!m_ended) {
        const uint64_t now = NowMs();
        if (now >= deadline) break;
        ReceiveSome(static_cast<DWORD>(deadline - now));
    }
    if (rest) *rest = m_pending;
    m_pending.clear();
    return m_ended;
}

bool WireClient::ShutdownSend() { return m_socket != INVALID_SOCKET && ::shutdown(m_socket, SD_SEND) == 0; }

void WireClient::Close() {
    if (m_socket == INVALID_SOCKET) return;
    ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

void WireClient::Reset() {
    if (m_socket == INVALID_SOCKET) return;
    linger abortive = {1, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof(abortive));
    Close();
}
