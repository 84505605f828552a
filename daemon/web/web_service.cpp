#include "daemon/web/web_service.h"

#include "daemon/command/session_slots.h"
#include "daemon/command/unique_socket.h"
#include "daemon/text/diagnostics.h"
#include "daemon/web/http_response.h"
#include "daemon/web/request_origin.h"
#include "daemon/web/web_connection.h"

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace {

// Overlapped, so that the receive time-outs hold on accepted sockets; not
// inheritable, so that the encoder (started with inherited handles) never
// keeps a connection or the port open.
SOCKET NewSocket() {
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool Listen(SOCKET s) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(kWebPort);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    return ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
           ::listen(s, SOMAXCONN) == 0;
}

}  // namespace

CWebService& TheWebService() {
    static CWebService service;
    return service;
}

void CWebService::Start() {
    UniqueSocket listening(NewSocket());
    if (!listening || !Listen(listening.get())) {
        PrintLine("19724 listen fail!");
        return;
    }
    m_listening = std::make_shared<SharedSocket>(listening.release());
    PrintLine("19724 listening");
    m_acceptThread.reset(::CreateThread(nullptr, 0, AcceptThread, this, 0, nullptr));
}

void CWebService::Stop() {
    // The listener's shutdown and the exit sequence may both stop it.
    std::lock_guard<std::mutex> guard(m_stopMutex);
    if (m_listening) m_listening->Close();
    if (m_acceptThread) ::WaitForSingleObject(m_acceptThread.get(), INFINITE);
    m_acceptThread.reset();
    m_listening.reset();
    m_open.ShutdownAll();
}

DWORD WINAPI CWebService::AcceptThread(LPVOID service) {
    try {
        static_cast<CWebService*>(service)->AcceptLoop();
    } catch (...) {
        // Out of memory at worst; the endpoint stops accepting.
    }
    return 0;
}

void CWebService::AcceptLoop() {
    for (;;) {
        SOCKET accepted = ::accept(m_listening->get(), nullptr, nullptr);
        if (accepted == INVALID_SOCKET) {
            // A stop closed the socket, or the system failed it; only the
            // former ends the loop for good.
            if (m_listening->get() == INVALID_SOCKET) return;
            ::Sleep(100);
            continue;
        }
        ::SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
        SetSendTimeout(accepted);
        auto connection = std::make_shared<SharedSocket>(accepted);
        if (!m_open.Add(connection)) {
            // Answered on this thread: a fresh socket takes the short answer
            // into its send buffer without waiting for the client.
            SendHttpError(accepted, 503, "Retry-After: 1\r\n");
            ::shutdown(accepted, SD_SEND);
            connection->Close();
            continue;
        }
        LPVOID parameter = MakeWebConnectionParameter(connection, m_open);
        UniqueHandle thread(::CreateThread(nullptr, 0, WebConnection, parameter, 0, nullptr));
        if (!thread) {
            FreeWebConnectionParameter(parameter);
            m_open.Remove(connection);
        }
    }
}
