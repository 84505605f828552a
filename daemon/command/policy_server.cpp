#include "daemon/command/policy_server.h"

#include "daemon/command/listening_socket.h"
#include "daemon/command/session_slots.h"
#include "daemon/text/diagnostics.h"

#include <cstring>
#include <memory>

namespace {

const char kPolicyRequest[] = "<policy-file-request/>";
// Sent with their terminating NUL: the Flash runtime reads up to it.
const char kPolicy[] =
    "<cross-domain-policy> <allow-access-from domain=\"*\" to-ports=\"*\"  /> </cross-domain-policy>";
const char kRefusal[] = "request error\r\n";
static_assert(sizeof(kPolicy) == 92, "policy is 91 characters and a NUL");
static_assert(sizeof(kRefusal) == 16, "refusal is 15 characters and a NUL");

const int kBacklog = 2;
// One byte of the 200-byte room stays zero, so the request is always a text.
const int kReceiveRoom = 200;

// "843 server recv data：%s\r\n"; the colon is full-width, code page 936.
const char kReceivedFormat[] = "843 server recv data\xA3\xBA%s\r\n";

const DWORD kThreadFailed = static_cast<DWORD>(-1);

// A Flash runtime sends its request at once; a connection that stays silent
// longer holds nobody up but its own thread, and not for long.
const DWORD kPolicyTimeoutMs = 2000;

struct PolicyConnection {
    UniqueSocket socket;
    SessionSlot slot;
};

void Serve(SOCKET connection) {
    char received[kReceiveRoom] = {};
    int count = ::recv(connection, received, kReceiveRoom - 1, 0);
    if (count <= 0) return;
    PrintFormat(kReceivedFormat, received);
    if (strcmp(received, kPolicyRequest) == 0) {
        if (::send(connection, kPolicy, sizeof(kPolicy), 0) <= 0) PrintText("send Error!\n");
    } else {
        if (::send(connection, kRefusal, sizeof(kRefusal), 0) <= 0) PrintText(" send Error!\n");
    }
}

DWORD WINAPI ThreadPolicyConnection(LPVOID parameter) {
    std::unique_ptr<PolicyConnection> connection(static_cast<PolicyConnection*>(parameter));
    try {
        Serve(connection->socket.get());
    } catch (...) {
    }
    return 0;
}

SessionSlots& PolicySlots() {
    static SessionSlots slots;
    return slots;
}

// Each connection is answered on a thread of its own, so that one silent
// client cannot hold the port for the others.
void ServeOnItsOwn(UniqueSocket connection) {
    const DWORD timeout = kPolicyTimeoutMs;
    ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    ::setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    if (!PolicySlots().TryTake()) return;
    auto parameter =
        std::make_unique<PolicyConnection>(PolicyConnection{std::move(connection), SessionSlot(PolicySlots())});
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadPolicyConnection, parameter.get(), 0, nullptr));
    if (thread) parameter.release();
}

DWORD RunPolicyServer() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(1, 1), &data);
    UniqueSocket listening;
    switch (OpenListeningSocket(kPolicyPort, kBacklog, listening)) {
    case ListenStep::Socket:
        PrintText("Create socket fail!\n");
        return kThreadFailed;
    case ListenStep::Bind:
        PrintText("Bind fail!\n");
        return kThreadFailed;
    case ListenStep::Listen:
        PrintText("Listen fail!\n");
        return kThreadFailed;
    case ListenStep::Done:
        break;
    }
    PrintLine("19722 listening");
    // The port serves for the life of the process.
    AcceptConnections([&listening] { return ::accept(listening.get(), nullptr, nullptr); }, [] { return false; },
                      [](UniqueSocket connection) {
                          PrintLine("accept connect");
                          ServeOnItsOwn(std::move(connection));
                      });
    return kThreadFailed;
}

}  // namespace

DWORD WINAPI PolicyServer(LPVOID) {
    try {
        return RunPolicyServer();
    } catch (...) {
        return kThreadFailed;
    }
}
