#include "tests/support/rtmp/rtmp_server.h"

#include "tests/support/child_process.h"
#include "tests/support/rtmp/linux_command.h"

#include <winsock2.h>

#include <fstream>
#include <regex>

namespace {

const char kModule[] = "/usr/lib/nginx/modules/ngx_rtmp_module.so";

// A port the system has just handed out for 127.0.0.1; nginx binds it a
// moment later, and a start that loses the race is retried on another.
int FreeLoopbackPort() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int port = 0;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::closesocket(s);
    }
    ::WSACleanup();
    return port;
}

std::string Configuration(const std::string& unixDir, int port) {
    // drop_idle_publisher: an encoder killed right after its publish began
    // can leave its socket open in the Wine server; without it nginx refuses
    // the next publish of that name for as long as the socket lingers.
    return "load_module " + std::string(kModule) + ";\n"
           "worker_processes 1;\n"
           "pid " + unixDir + "nginx.pid;\n"
           "error_log " + unixDir + "error.log info;\n"
           "events { worker_connections 128; }\n"
           "rtmp {\n"
           "  server {\n"
           "    listen 127.0.0.1:" + std::to_string(port) + ";\n"
           "    application kavo { live on; drop_idle_publisher 5s; }\n"
           "  }\n"
           "}\n";
}

const std::regex kLine(R"(\*(\d+) (client connected|publish: name='([^']*)' args='([^']*)'|play: name='([^']*)' args='([^']*)'|disconnect))");

}  // namespace

std::string StreamNameOf(const std::string& url) {
    size_t app = url.find("/kavo/");
    if (app == std::string::npos) return std::string();
    std::string rest = url.substr(app + 6);
    return rest.substr(0, rest.find('?'));
}

std::string StreamQueryOf(const std::string& url) {
    size_t q = url.find('?');
    return q == std::string::npos ? std::string() : url.substr(q + 1);
}

std::string RtmpServer::Start() {
    if (Running()) return std::string();
    m_dir = ScratchDirectory(L"rtmp-");
    m_unixDir = UnixPath(m_dir);
    if (m_unixDir.empty()) return "Wine cannot map " + ToUtf8(m_dir) + " to a Unix path";
    LinuxCommandResult check = RunLinuxCommand(std::string("command -v nginx && test -f ") + kModule, 30000);
    if (check.exitCode != 0)
        return "nginx or its RTMP module (" + std::string(kModule) +
               ") is missing: install nginx-light and libnginx-mod-rtmp. " + check.failure + check.output;

    std::string lastFailure;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreeLoopbackPort();
        if (m_port == 0) return "no free port on 127.0.0.1";
        {
            std::ofstream conf((m_dir + L"nginx.conf").c_str(), std::ios::binary | std::ios::trunc);
            conf << Configuration(m_unixDir, m_port);
        }
        ::DeleteFileW((m_dir + L"error.log").c_str());
        lastFailure = LaunchNginx();
        if (Running()) break;
    }
    if (!Running()) return lastFailure;
    m_readOffset = 0;
    m_stopWatch = false;
    m_watcher = std::thread(&RtmpServer::Watch, this);
    return std::string();
}

std::string RtmpServer::LaunchNginx() {
    const std::string d = ShellQuote(m_unixDir);
    // nginx forks its master and returns; the pid file tells the master.
    LinuxCommandResult run = RunLinuxCommand(
        "rm -f " + d + "nginx.pid\n"
        "nginx -p " + d + " -e " + d + "error.log -c " + d + "nginx.conf || exit 1\n"
        "for i in $(seq 50); do [ -s " + d + "nginx.pid ] && { cat " + d + "nginx.pid; exit 0; }; sleep 0.1; done\n"
        "exit 2\n",
        30000);
    m_pid = run.exitCode == 0 ? atoi(run.output.c_str()) : 0;
    if (m_pid > 0) return std::string();
    m_pid = 0;
    return "nginx did not start on 127.0.0.1:" + std::to_string(m_port) + ": " + run.failure + run.output;
}

std::string RtmpServer::SignalNginx(const char* signal) {
    if (!Running()) return "nginx does not run";
    const std::string pid = std::to_string(m_pid);
    // The workers first: a stopped master cannot stop them.
    LinuxCommandResult run = RunLinuxCommand(std::string("for c in $(pgrep -P ") + pid + "); do kill -" + signal +
                                                 " $c; done\n" + "kill -" + signal + " " + pid + "\n" +
                                                 "ps -o pid=,stat= -p " + pid + " --ppid " + pid + "\n",
                                             20000);
    return run.output + run.failure;
}

std::string RtmpServer::Freeze() { return SignalNginx("STOP"); }

void RtmpServer::Thaw() { SignalNginx("CONT"); }

void RtmpServer::EndNginx() {
    if (!Running()) return;
    Thaw();
    const std::string pid = std::to_string(m_pid);
    RunLinuxCommand("kill " + pid + " 2>/dev/null\n"
                    "for i in $(seq 100); do kill -0 " + pid + " 2>/dev/null || exit 0; sleep 0.05; done\n"
                    "kill -9 " + pid + "\n",
                    20000);
    m_pid = 0;
}

void RtmpServer::Pause() { EndNginx(); }

std::string RtmpServer::Resume() { return Running() ? std::string() : LaunchNginx(); }

void RtmpServer::Stop() {
    if (m_watcher.joinable()) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_stopWatch = true;
        }
        m_watcher.join();
    }
    EndNginx();
}

std::string RtmpServer::Url(const std::string& nameAndQuery) const {
    return "rtmp://127.0.0.1:" + std::to_string(m_port) + "/kavo/" + nameAndQuery;
}

void RtmpServer::Watch() {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_stopWatch) return;
        }
        ReadNewLines();
        ::Sleep(20);
    }
}

void RtmpServer::ReadNewLines() {
    HANDLE file = ::CreateFileW((m_dir + L"error.log").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string chunk;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(m_readOffset);
    if (::SetFilePointerEx(file, offset, nullptr, FILE_BEGIN)) {
        char buffer[8192];
        DWORD n = 0;
        while (::ReadFile(file, buffer, sizeof(buffer), &n, nullptr) && n > 0) chunk.append(buffer, n);
    }
    ::CloseHandle(file);
    if (chunk.empty()) return;
    m_readOffset += chunk.size();

    const DWORD now = ::GetTickCount();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_pending += chunk;
    size_t end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        const std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        std::smatch match;
        if (!std::regex_search(line, match, kLine)) continue;
        RtmpEvent event{};
        event.connection = std::stoi(match[1]);
        event.seenTick = now;
        const std::string what = match[2];
        if (what == "client connected") {
            event.kind = RtmpEvent::kConnect;
        } else if (what == "disconnect") {
            event.kind = RtmpEvent::kDisconnect;
            for (int c : m_publishers) event.endsPublish |= c == event.connection;
        } else if (match[3].matched) {
            event.kind = RtmpEvent::kPublish;
            event.name = match[3];
            event.args = match[4];
            m_publishers.push_back(event.connection);
        } else {
            event.kind = RtmpEvent::kPlay;
            event.name = match[5];
            event.args = match[6];
        }
        m_events.push_back(event);
    }
}

std::vector<RtmpEvent> RtmpServer::Events() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
}

size_t RtmpServer::EventCount() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events.size();
}

bool RtmpServer::WaitForEvent(RtmpEvent::Kind kind, size_t from, DWORD timeoutMs, RtmpEvent* found,
                              const std::string& name) {
    const DWORD started = ::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            for (size_t i = from; i < m_events.size(); ++i) {
                const RtmpEvent& e = m_events[i];
                if (e.kind != kind || (kind == RtmpEvent::kDisconnect && !e.endsPublish)) continue;
                if (!name.empty() && e.name != name) continue;
                if (found) *found = e;
                return true;
            }
        }
        if (::GetTickCount() - started >= timeoutMs) return false;
        ::Sleep(20);
    }
}

std::string RtmpServer::Log() {
    std::ifstream in((m_dir + L"error.log").c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
