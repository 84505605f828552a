#pragma once
// What every command session does, whatever carries its messages: greet,
// carry out accepted commands and answer them, tell a silent client the push
// level, and stop both executables when a client that gave commands is gone.
#include "daemon/command/recv_cmd.h"
#include "daemon/command/session_channel.h"

class CommandSession {
public:
    explicit CommandSession(SessionChannel& channel);
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    // Forgets the level announced last, so this client hears it, and sends
    // the greeting. False when the greeting could not be sent: the session
    // ends then without stopping the executables.
    bool Greet();
    // Dispatches a command that ParseCommand accepted and sends its reply.
    // False when the reply could not be sent (the client is gone, or has not
    // read for the send time-out): the session ends as if the client had left.
    bool Carry(const RecvCmd& cmd);
    // The push level's word when it differs from the one announced last.
    // False when that send failed (the session ends as after a failed greeting).
    bool Announce();
    // The client is gone. The encoder and the bridge stop only when this
    // session gave the last command dispatched: a client that only looked (a
    // second tab of the control page, a probe that read the greeting), or
    // whose commands another client's have since replaced, must not end a
    // publish that another client started.
    void End();

private:
    SessionChannel& m_channel;
    const unsigned long long m_id;
};
