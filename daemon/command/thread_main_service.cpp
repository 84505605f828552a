#include "daemon/command/thread_main_service.h"

#include "daemon/command/client_session.h"
#include "daemon/command/listening_socket.h"
#include "daemon/command/policy_server.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/supervisor.h"
#include "daemon/text/diagnostics.h"

#include <mutex>

namespace {

const int kBacklog = 5;
const DWORD kSettleMs = 100;

// "设置接收超时 错误\n" in code page 936.
const char kTimeoutFailedDebugText[] = "\xC9\xE8\xD6\xC3\xBD\xD3\xCA\xD5\xB3\xAC\xCA\xB1 \xB4\xED\xCE\xF3\n";

// The socket that StopListening may close. The process has one listener.
std::mutex g_listeningMutex;
std::shared_ptr<SharedSocket> g_listening;

void PublishListening(std::shared_ptr<SharedSocket> listening) {
    std::lock_guard<std::mutex> guard(g_listeningMutex);
    g_listening = std::move(listening);
}

// The failures that leave no client able to connect also tell the user.
void ReportListenFailure(ListenStep step) {
    switch (step) {
    case ListenStep::Socket:
        PrintText("Create socket fail!\n");
        ::MessageBoxA(nullptr, "ASDFASDF", "Create socket fail\n", MB_OK);
        break;
    case ListenStep::Bind:
        PrintText("Bind fail!\n");
        ::MessageBoxA(nullptr, "ASFA", "Bind fail!\n", MB_OK);
        break;
    case ListenStep::Listen:
        PrintText("Listen fail!\n");
        ::MessageBoxA(nullptr, "ASFA", "Listen fail!\n", MB_OK);
        break;
    case ListenStep::Done:
        break;
    }
}

bool SetReceiveTimeout(SOCKET connection) {
    const DWORD timeout = kSessionReceiveTimeoutMs;
    return ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                        sizeof(timeout)) == 0;
}

void WaitAndClose(UniqueHandle& thread) {
    if (!thread) return;
    ::WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
}

}  // namespace

bool StopListening() {
    std::shared_ptr<SharedSocket> listening;
    {
        std::lock_guard<std::mutex> guard(g_listeningMutex);
        listening = std::move(g_listening);
    }
    if (!listening) return false;
    listening->Close();
    return true;
}

void CThreadMainService::StartHelperThreads() {
    m_supervisorStop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_supervisorStop)
        m_supervisorThread.reset(::CreateThread(nullptr, 0, ThreadSupervisor, m_supervisorStop.get(), 0, nullptr));
    m_policyThread.reset(::CreateThread(nullptr, 0, PolicyServer, nullptr, 0, nullptr));
    if (m_companion) m_companion->Start();
}

void CThreadMainService::run() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(1, 1), &data);
    UniqueSocket opened;
    const ListenStep step = OpenListeningSocket(kCommandPort, kBacklog, opened);
    if (step != ListenStep::Done) {
        ReportListenFailure(step);
        return;
    }
    auto listening = std::make_shared<SharedSocket>(opened.release());
    PublishListening(listening);
    PrintLine("19723 listening");
    StartHelperThreads();
    ::Sleep(kSettleMs);

    auto accept = [&listening] { return ::accept(listening->get(), nullptr, nullptr); };
    // StopListening closes the socket: that failure is the shutdown's.
    auto closed = [&listening] { return listening->get() == INVALID_SOCKET; };
    AcceptConnections(accept, closed, [this](UniqueSocket accepted) { Serve(std::move(accepted)); });
    // A listener that has ended refuses new clients instead of queueing them.
    PublishListening(nullptr);
    listening->Close();
}

void CThreadMainService::Serve(UniqueSocket accepted) {
    PrintLine("19723 accept connect");
    u_long blocking = 0;
    ::ioctlsocket(accepted.get(), FIONBIO, &blocking);
    if (!SetReceiveTimeout(accepted.get())) {
        // Without it the session could not pace its announcements.
        DebugText(std::string(kTimeoutFailedDebugText));
        return;
    }
    SetSendTimeout(accepted.get());
    // Beyond the bound the connection is closed before any greeting.
    if (!CommandPortSlots().TryTake()) return;
    auto connection = std::make_shared<SharedSocket>(accepted.release());
    LPVOID parameter = MakeSessionParameter(connection, SessionSlot(CommandPortSlots()));
    HANDLE session = ::CreateThread(nullptr, 0, ClientSession, parameter, 0, nullptr);
    if (!session) {
        FreeSessionParameter(parameter);
        return;
    }
    m_latestSession.reset(session);
    m_latestSessionSocket = std::move(connection);
}

void CThreadMainService::exit() {
    // Both threads are asked to end rather than killed: either may hold the
    // publishing state's lock at any moment.
    if (m_companion) m_companion->Stop();
    if (m_supervisorStop) ::SetEvent(m_supervisorStop.get());
    if (m_latestSessionSocket) m_latestSessionSocket->Shutdown();
    WaitAndClose(m_supervisorThread);
    WaitAndClose(m_latestSession);
    StopExecutable(kEncoderImageName);
    StopExecutable(kBridgeImageName);
}
