#pragma once
// The one session loop of every command session, whatever carries its
// messages: judge the connection, greet, carry out accepted commands and
// answer them, tell a silent client the push level, and end.
#include "daemon/command/recv_cmd.h"
#include "daemon/command/session_transport.h"

// Runs the session until its client is gone, then closes the transport and
// handles the session's end on every path (a failed send, an exception): the
// encoder and the bridge stop when, and only when, this session gave the
// last command dispatched. A client that only looked (a second tab of the
// control page, a probe that read the greeting), or whose commands another
// client's have since replaced, must not end a publish another client started.
void RunCommandSession(SessionTransport& transport);
