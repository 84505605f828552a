#pragma once
// A private RTMP server for tests: Debian's nginx with its RTMP module,
// started from a configuration in the build tree on a free port of
// 127.0.0.1 (application "kavo", live), watched through its error log, and
// stopped by the pid it wrote. What a test asks of the server it asks of
// the log: each publish with the stream's name and query, each disconnect.
#include "common/non_copyable.h"
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct RtmpEvent {
    enum Kind { kConnect, kPublish, kPlay, kDisconnect } kind;
    int connection = 0;   // nginx's connection number (*N)
    std::string name;     // publish and play: the stream name
    std::string args;     // publish and play: the query (k=...&t=...)
    DWORD seenTick = 0;   // GetTickCount when the test first read the line
    // A disconnect of a connection that published before.
    bool endsPublish = false;
};

class RtmpServer : CNonCopyable {
public:
    RtmpServer() = default;
    ~RtmpServer() { Stop(); }

    // Empty when the server runs; else why not (nginx or its module missing,
    // no free port, a start that failed with its log).
    std::string Start();
    void Stop();
    bool Running() const { return m_pid != 0; }
    // Ends nginx as a server that goes away would end, and starts it again
    // on the same port; the log and its events go on.
    void Pause();
    std::string Resume();
    // Stops nginx's processes with SIGSTOP, as a server that hangs: the
    // connections stay open and nothing is read or answered. Thaw lets them
    // go on (Stop and Pause thaw first).
    // Freeze returns the states of nginx's processes after the signal
    // ("T" for each one stopped), for failure messages.
    std::string Freeze();
    void Thaw();

    int Port() const { return m_port; }
    // rtmp://127.0.0.1:PORT/kavo/<nameAndQuery>
    std::string Url(const std::string& nameAndQuery) const;

    // Every event so far, in the log's order.
    std::vector<RtmpEvent> Events();
    // Index at which the next event will land, to wait for later ones.
    size_t EventCount();
    // Waits for an event of `kind` at index `from` or later, of that stream
    // name unless empty; a disconnect counts only when it ends a publish.
    // True with the event when it came within timeoutMs.
    bool WaitForEvent(RtmpEvent::Kind kind, size_t from, DWORD timeoutMs, RtmpEvent* found = nullptr,
                      const std::string& name = std::string());
    // The error log as written so far, for failure messages.
    std::string Log();

private:
    // Runs nginx on m_port with the configuration written; empty or why not.
    std::string LaunchNginx();
    void EndNginx();
    std::string SignalNginx(const char* signal);
    void Watch();
    void ReadNewLines();

    std::wstring m_dir;   // with trailing backslash
    std::string m_unixDir;
    int m_port = 0;
    int m_pid = 0;
    std::mutex m_mutex;
    std::vector<RtmpEvent> m_events;
    std::vector<int> m_publishers;
    std::string m_pending;  // a line not yet ended
    unsigned long long m_readOffset = 0;
    bool m_stopWatch = false;
    std::thread m_watcher;
};

// Stream name and query out of an "rtmp://host:port/kavo/name?query" URL.
std::string StreamNameOf(const std::string& url);
std::string StreamQueryOf(const std::string& url);
