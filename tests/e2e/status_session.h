#pragma once
// A session on the daemon's web endpoint (ws://127.0.0.1:19724/ws) from a
// test: commands go out as masked text frames, and the status objects that
// the daemon sends come back with the tick at which they arrived.
#include "tests/daemon/command/wire_client.h"

#include <windows.h>

#include <string>
#include <vector>

struct StatusMessage {
    std::string json;
    DWORD tick = 0;
};

class StatusSession {
public:
    // Handshake and greeting (kept in `greeting` when given); false when
    // either did not come, with Problem() saying what went wrong.
    bool Open(DWORD timeoutMs = 15000, std::string* greeting = nullptr);
    const std::string& Problem() const { return m_problem; }
    bool Send(const std::string& utf8);
    // The next text message; false when none came within timeoutMs.
    bool NextText(std::string& text, DWORD timeoutMs);
    // The next binary message (a picture), text messages skipped (status
    // objects among them kept in Seen()); false when none came in time.
    bool NextBinary(std::string& bytes, DWORD timeoutMs);
    // Waits for a status object of `type` ("publish", "camera") in one of
    // `states`; every status object read on the way is kept in Seen().
    bool WaitForStatus(const std::string& type, const std::vector<std::string>& states, DWORD timeoutMs,
                       StatusMessage* found = nullptr);
    const std::vector<StatusMessage>& Seen() const { return m_seen; }
    void Close() { m_client.Close(); }

private:
    bool TakeFrame(std::string& payload, int& opcode);
    // The next frame of that opcode; false on a close frame, the end of the
    // connection or the time limit.
    bool NextFrame(int wantedOpcode, std::string& out, DWORD timeoutMs);

    WireClient m_client;
    std::string m_buffer;
    std::string m_problem;
    std::vector<StatusMessage> m_seen;
};

// A member of a flat JSON object: a string's text (escapes left as they
// are) or a number's digits; empty when the object has no such member.
std::string JsonField(const std::string& json, const std::string& key);
// The last `count` status objects seen, for failure messages.
std::string LastSeen(const StatusSession& session, size_t count = 6);
