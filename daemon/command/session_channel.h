#pragma once
// How a command session's messages reach its client. The command port ends
// each message with a NUL in the client's own code page; the WebSocket
// endpoint sends each as one text frame in UTF-8 without the line end.
#include <string>

class SessionChannel {
public:
    virtual ~SessionChannel() = default;
    // greeting: the device names in the ANSI code page, as the listing gives
    // them, with "$" and the version; not yet cut to any length.
    virtual bool SendGreeting(const std::string& greeting) = 0;
    // A reply ("start ok\r\n") or a push-level word, in code page 936.
    virtual bool SendText(const std::string& text) = 0;
};
