// Figures of the web endpoint, printed: time from connect to greeting over
// WebSocket (handshake included), and the service's memory and threads with
// 200 WebSocket sessions tried at once (32 are served, the rest answered 503)
// and 5 s after they have left. It starts the command service's test host,
// which brings up the endpoint on 19724.
#include "tests/daemon/command/wire_client.h"
#include "tools/benchmark_support/benchmark_service.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint16_t kWebPort = 19724;
const int kGreetingRuns = 50;
const int kSessions = 200;

// RFC 6455's sample key, so that the answer has a known length.
const char kHandshake[] =
    "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:19724\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
const std::string kSwitching =
    "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
// "null$1.0.0" in one text frame: no device in the benchmark's prefix.
const std::string kGreetingFrame = std::string("\x81\x0A", 2) + "null$1.0.0";

bool OpenSession(WireClient& client, DWORD timeoutMs) {
    if (!client.Connect(kWebPort, timeoutMs) || !client.Send(kHandshake)) return false;
    return client.Read(kSwitching.size() + kGreetingFrame.size(), timeoutMs) == kSwitching + kGreetingFrame;
}

}  // namespace

int wmain() {
    BenchmarkService service;
    if (!StartWebService(service)) return 1;
    Figures greetings;
    int failed = 0;
    for (int i = 0; i < kGreetingRuns; ++i) {
        WireClient client;
        const LARGE_INTEGER start = Now();
        if (OpenSession(client, 15000)) greetings.ms.push_back(ElapsedMs(start));
        else ++failed;
    }
    greetings.Print("connect to greeting over WebSocket");
    if (failed) printf("  %d sessions not greeted\n", failed);

    printf("\n%d WebSocket sessions at once\n", kSessions);
    ::Sleep(2000);
    printf("  before:  %s\n", service.Footprint().c_str());
    const LARGE_INTEGER start = Now();
    int greeted = 0;
    std::vector<std::unique_ptr<WireClient>> clients =
        OpenClients(kSessions, [](WireClient& client) { return OpenSession(client, 60000); }, &greeted);
    printf("  greeted %d of %d, all by %.0f ms\n", greeted, kSessions, ElapsedMs(start));
    printf("  open:    %s\n", service.Footprint().c_str());
    clients.clear();
    ::Sleep(5000);
    printf("  5 s after all left: %s\n", service.Footprint().c_str());
    service.Stop();
    return 0;
}
