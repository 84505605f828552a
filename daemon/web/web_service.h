#pragma once
// The web endpoint on 127.0.0.1:19724: the control page and WebSocket
// command sessions, for browsers that no longer run Flash. It lives as long
// as the command listener, which starts and stops it.
#include <winsock2.h>

#include <memory>
#include <mutex>

#include "common/unique_handle.h"
#include "daemon/command/companion_service.h"
#include "daemon/command/shared_socket.h"
#include "daemon/web/open_connections.h"

class CWebService : public CompanionService {
public:
    CWebService() = default;
    // Listens and accepts on a thread of its own. Prints "19724 listening",
    // or "19724 listen fail!" and serves nothing when the port is taken.
    void Start() override;
    // Stops accepting and ends every open connection; WebSocket sessions end
    // as if their clients had gone.
    void Stop() override;

private:
    static DWORD WINAPI AcceptThread(LPVOID service);
    void AcceptLoop();

    std::shared_ptr<SharedSocket> m_listening;
    UniqueHandle m_acceptThread;
    OpenConnections m_open;
    std::mutex m_stopMutex;
};

// The process's one endpoint.
CWebService& TheWebService();
