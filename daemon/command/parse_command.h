#pragma once
// Taking one command line out of a session's receive buffer and parsing it.
#include "daemon/command/recv_cmd.h"
#include "daemon/publisher/publish_state.h"

#include <string>

const int kReceiveBufferSize = 1024;

// buffer holds `held` received bytes at its front (room kReceiveBufferSize).
// Takes the first complete message (the bytes before the first CR LF), with
// the CR LF and the byte after it, and parses it into cmd, storing values in
// state as they are found. True only for an accepted command.
//
// When CR LF are the last held bytes, the message is taken at once without
// waiting for the client's NUL; a NUL that then arrives at the front of the
// buffer is dropped by the next call. More bytes than are held are never taken.
bool ParseCommand(char* buffer, int& held, RecvCmd& cmd, PublishState& state = ThePublishState());

// The grammar of one command line, without its line end.
bool ParseCommandLine(const std::wstring& line, RecvCmd& cmd, PublishState& state = ThePublishState());

// A message that arrives whole as UTF-16 text, with no framing of its own to
// take it from (a WebSocket text message): the same grammar, applied to its
// text up to its first CR LF (which may be left out), so names that code page
// 936 cannot hold stay whole. A line holding U+0000 is rejected.
bool ParseCommandMessage(const std::wstring& message, RecvCmd& cmd, PublishState& state = ThePublishState());
