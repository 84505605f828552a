#pragma once
// The listener of the command port (19723) and its shutdown.
#include <memory>

#include "common/unique_handle.h"
#include "daemon/command/companion_service.h"
#include "daemon/command/ct_thread.h"
#include "daemon/command/shared_socket.h"
#include "daemon/command/unique_socket.h"

const unsigned short kCommandPort = 19723;

class CThreadMainService : public ct_thread {
public:
    // companion: started beside the supervisor and the policy server, and
    // stopped by the shutdown; may be null.
    explicit CThreadMainService(CompanionService* companion = nullptr) : m_companion(companion) {}
    ~CThreadMainService() override = default;

    // Accepts clients, one session thread each, after starting the supervisor
    // and the policy server; returns when StopListening has closed the port.
    // A failed accept or set-up of one connection is logged and passed over.
    void run() override;
    // Ends the supervisor and the latest session, then stops the executables.
    void exit() override;

private:
    void StartHelperThreads();
    // Sets up one accepted connection and starts its session.
    void Serve(UniqueSocket accepted);

    CompanionService* m_companion;

    UniqueHandle m_supervisorStop;
    UniqueHandle m_supervisorThread;
    UniqueHandle m_policyThread;
    UniqueHandle m_latestSession;
    std::shared_ptr<SharedSocket> m_latestSessionSocket;
};

// Closes the running listener's socket so that its accept fails and the
// shutdown runs: how a host without a tray ends the service. False when no
// listener is listening.
bool StopListening();
