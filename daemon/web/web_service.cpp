#include "daemon/web/web_service.h"

#include "daemon/command/listening_socket.h"
#include "daemon/command/session_slots.h"
#include "daemon/command/unique_socket.h"
#include "daemon/text/diagnostics.h"
#include "daemon/web/http_response.h"
#include "daemon/web/request_origin.h"
#include "daemon/web/web_connection.h"

namespace {

// Read first: closing a socket with unread bytes resets the connection, and
// the reset can overtake the answer, so the client would never see the 503.
// Only what has arrived is read: a browser sends its request with the
// connect, and the accept thread must not wait for a client that sends nothing.
void DrainArrived(SOCKET socket) {
    char discard[4096];
    for (int round = 0; round < 16; ++round) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval now = {0, 0};
        if (::select(0, &readable, nullptr, nullptr, &now) <= 0) return;
        if (::recv(socket, discard, sizeof(discard), 0) <= 0) return;
    }
}

void TurnAway(SharedSocket& connection) {
    DrainArrived(connection.get());
    SendHttpError(connection.get(), 503, "Retry-After: 1\r\n");
    connection.ShutdownSend();
    DrainArrived(connection.get());
    connection.Close();
}

}  // namespace

CWebService& TheWebService() {
    static CWebService service;
    return service;
}

void CWebService::Start() {
    UniqueSocket listening;
    if (OpenListeningSocket(kWebPort, SOMAXCONN, listening) != ListenStep::Done) {
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
        KeepFromChildProcesses(accepted);
        auto connection = std::make_shared<SharedSocket>(accepted);
        SetSendTimeout(accepted);
        if (!m_open.Add(connection)) {
            TurnAway(*connection);
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
