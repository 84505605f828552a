#pragma once
// Taking one command line out of a session's receive buffer and parsing it.
// Parsing only fills the command: what a line names reaches the publishing
// state when, and only when, the command is dispatched, so that a line that
// is rejected, or comes from a session that does not own the publish, never
// changes where a running stream goes.
#include "daemon/command/recv_cmd.h"

#include <string>

const int kReceiveBufferSize = 1024;

// The command port's clients never named a camera longer than this; longer
// names are cut there as they always were. The WebSocket path takes names whole.
const size_t kCommandPortVideoDeviceUnits = 31;

// buffer holds `held` received bytes at its front (room kReceiveBufferSize).
// Takes the first complete message (the bytes before the first CR LF), with
// the CR LF and the byte after it. When CR LF are the last held bytes, the
// message is taken at once without waiting for the client's NUL; a NUL that
// then arrives at the front of the buffer is dropped by the next call. More
// bytes than are held are never taken. False (buffer unchanged but for
// leading NULs) when no complete message is held.
bool TakeCommandPortMessage(char* buffer, int& held, std::string& message);

// TakeCommandPortMessage, then the grammar on the message read as code page
// 936. True only for an accepted command.
bool ParseCommand(char* buffer, int& held, RecvCmd& cmd);

// The grammar of one command line, without its line end. videoDeviceUnits:
// where a camera name is cut. A line holding U+0000 is rejected: a NUL would
// cut a name short wherever it is passed on as a C string.
bool ParseCommandLine(const std::wstring& line, RecvCmd& cmd, size_t videoDeviceUnits = std::wstring::npos);

// A message that arrives whole as UTF-16 text, with no framing of its own to
// take it from (a WebSocket text message): its text up to its first CR LF
// (which may be left out), so names that code page 936 cannot hold stay whole.
std::wstring FirstLineOfMessage(const std::wstring& message);
bool ParseCommandMessage(const std::wstring& message, RecvCmd& cmd);
