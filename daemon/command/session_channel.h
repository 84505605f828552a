#pragma once
// How a command session's messages reach its client. The command port ends
// each message with a NUL in the client's own code page; the WebSocket
// endpoint sends each as one text frame in UTF-8 without the line end.
#include <string>
#include <vector>

class SessionChannel {
public:
    virtual ~SessionChannel() = default;
    // deviceNames: the working microphones as the platform names them; the
    // channel builds the greeting in its own encoding.
    virtual bool SendGreeting(const std::vector<std::wstring>& deviceNames) = 0;
    // A reply ("start ok\r\n") or a push-level word, in code page 936.
    virtual bool SendText(const std::string& text) = 0;
};
