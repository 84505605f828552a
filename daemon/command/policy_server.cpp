#include "daemon/command/policy_server.h"

#include "daemon/command/listening_socket.h"
#include "daemon/text/diagnostics.h"

#include <cstring>

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
    for (;;) {
        // A connection that sends nothing is closed at once, like any other.
        UniqueSocket connection(::accept(listening.get(), nullptr, nullptr));
        if (!connection) {
            PrintText("Accept fail!\n");
            return kThreadFailed;
        }
        KeepFromChildProcesses(connection.get());
        PrintLine("accept connect");
        Serve(connection.get());
    }
}

}  // namespace

DWORD WINAPI PolicyServer(LPVOID) {
    try {
        return RunPolicyServer();
    } catch (...) {
        return kThreadFailed;
    }
}
