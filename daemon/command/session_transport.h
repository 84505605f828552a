#pragma once
// What carries one command session: the command port's NUL-ended byte
// messages or a WebSocket's text frames. A transport only frames; greeting,
// carrying commands, announcing, ending and who owns the publish are the
// session loop's (RunCommandSession), the same for every transport.
#include "daemon/command/session_channel.h"

#include <string>

enum class Arrival {
    Line,     // one command line, without its line end
    Silence,  // the receive time-out passed
    Gone,     // the client closed, failed, or broke the framing
    Foreign   // not a command client (a browser's request, a TLS handshake)
};

class SessionTransport : public SessionChannel {
public:
    // Before anything is sent: false when the connection is no command client
    // or has already gone. It then gets no greeting, and no listing runs for it.
    virtual bool OpenForGreeting() { return true; }
    virtual Arrival Receive(std::wstring& line) = 0;
    // Where this transport cuts a camera's name (npos: nowhere).
    virtual size_t VideoDeviceUnits() const { return std::wstring::npos; }
    // The line just received was no accepted command.
    virtual void Rejected() {}

    // Transport-specific additions to the common session: messages that
    // follow the greeting, and lines that are this transport's own commands
    // rather than the command grammar's (true when the line was one).
    virtual void AfterGreeting() {}
    virtual bool HandleOwnLine(const std::wstring& /*line*/) { return false; }

    // Ends whatever runs beside the session (and may send on it), then closes
    // the connection. Runs once, on the session's thread, before the
    // session's end stops anything: a feed woken by that stop must find its
    // sending already over, not a handle that the system has given to the
    // next connection.
    virtual void Close() = 0;
};
