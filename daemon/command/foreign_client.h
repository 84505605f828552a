#pragma once
// Recognising a connection to the command port that is not a command client.
// Any web page can make a browser open a connection to a loopback port (an
// image, a fetch, an https:// address) and send an HTTP request or a TLS
// handshake there; its bytes would otherwise parse as commands ("GET /stop
// HTTP/1.1" contains "stop") or fill the buffer.
#include <cstddef>

enum class FirstLineVerdict {
    Undecided,  // too few bytes to tell
    Ours,       // a command client's first line
    Foreign     // not our client: closed at once, nothing of it acts
};

// Judges the first bytes a connection sent (count > 0). Foreign: a first byte
// that is not printable ASCII (a TLS record, binary data), a first word of
// capital letters followed by a blank (an HTTP method), or a first line longer
// than the receive buffer without its line end. Ours once the first line has
// ended without any of these.
FirstLineVerdict JudgeFirstLine(const char* bytes, size_t count, size_t room);
