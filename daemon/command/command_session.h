#pragma once
// What every command session does, whatever carries its messages: greet,
// carry out accepted commands and answer them, tell a silent client the push
// level, and stop both executables when the client is gone.
#include "daemon/command/recv_cmd.h"
#include "daemon/command/session_channel.h"

class CommandSession {
public:
    explicit CommandSession(SessionChannel& channel) : m_channel(channel) {}
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    // Forgets the level announced last, so this client hears it, and sends
    // the greeting. False when the greeting could not be sent: the session
    // ends then without stopping the executables.
    bool Greet();
    // Dispatches a command that ParseCommand accepted and sends its reply.
    void Carry(const RecvCmd& cmd);
    // The push level's word when it differs from the one announced last.
    // False when that send failed (the session ends as after a failed greeting).
    bool Announce();
    // The client is gone: the encoder and the bridge stop.
    void End();

private:
    SessionChannel& m_channel;
};
