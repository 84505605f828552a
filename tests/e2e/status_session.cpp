#include "tests/e2e/status_session.h"

namespace {

const uint16_t kWebPort = 19724;
const char kHandshake[] =
    "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:19724\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
const DWORD kReadSliceMs = 50;

}  // namespace

bool StatusSession::Open(DWORD timeoutMs, std::string* greeting) {
    // Opened again (a restarted daemon): frames left unread from the old
    // connection would stand in front of the new handshake's answer.
    m_buffer.clear();
    const auto fail = [this](const std::string& problem) {
        m_problem = problem;
        return false;
    };
    if (!m_client.Connect(kWebPort, timeoutMs)) return fail("no connection to 19724");
    if (!m_client.Send(kHandshake)) return fail("the handshake could not be sent");
    const DWORD start = ::GetTickCount();
    while (m_buffer.find("\r\n\r\n") == std::string::npos) {
        if (::GetTickCount() - start > timeoutMs || m_client.Ended())
            return fail(m_client.Ended() ? "closed before the handshake's answer" : "no answer to the handshake");
        m_buffer += m_client.Read(4096, kReadSliceMs);
    }
    if (m_buffer.compare(0, 12, "HTTP/1.1 101") != 0) return fail("answer: " + m_buffer.substr(0, m_buffer.find('\r')));
    m_buffer.erase(0, m_buffer.find("\r\n\r\n") + 4);
    std::string text;
    if (!NextText(text, timeoutMs)) return fail("no greeting");
    if (text.find('$') == std::string::npos) return fail("not a greeting: " + text);
    if (greeting) *greeting = text;
    return true;
}

bool StatusSession::Send(const std::string& utf8) {
    // Clients mask their frames; a zero mask leaves the payload as it is.
    std::string frame("\x81", 1);
    if (utf8.size() < 126) {
        frame += static_cast<char>(0x80 | utf8.size());
    } else {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(utf8.size() >> 8);
        frame += static_cast<char>(utf8.size() & 0xFF);
    }
    frame += std::string(4, '\0') + utf8;
    return m_client.Send(frame);
}

bool StatusSession::TakeFrame(std::string& payload, int& opcode) {
    if (m_buffer.size() < 2) return false;
    size_t length = static_cast<unsigned char>(m_buffer[1]) & 0x7F;
    size_t header = 2;
    if (length == 126) {
        if (m_buffer.size() < 4) return false;
        length = (static_cast<unsigned char>(m_buffer[2]) << 8) | static_cast<unsigned char>(m_buffer[3]);
        header = 4;
    } else if (length == 127) {
        if (m_buffer.size() < 10) return false;
        length = 0;
        for (int i = 2; i < 10; ++i) length = (length << 8) | static_cast<unsigned char>(m_buffer[i]);
        header = 10;
    }
    if (m_buffer.size() < header + length) return false;
    opcode = m_buffer[0] & 0x0F;
    payload = m_buffer.substr(header, length);
    m_buffer.erase(0, header + length);
    return true;
}

bool StatusSession::NextText(std::string& text, DWORD timeoutMs) { return NextFrame(0x1, text, timeoutMs); }

bool StatusSession::NextBinary(std::string& bytes, DWORD timeoutMs) { return NextFrame(0x2, bytes, timeoutMs); }

bool StatusSession::NextFrame(int wantedOpcode, std::string& out, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        int opcode = 0;
        std::string payload;
        while (TakeFrame(payload, opcode)) {
            if (opcode == 0x8) return false;
            // Statuses are kept whatever the caller waits for.
            if (opcode == 0x1 && !payload.empty() && payload[0] == '{')
                m_seen.push_back(StatusMessage{payload, ::GetTickCount()});
            if (opcode != wantedOpcode) continue;
            out.swap(payload);
            return true;
        }
        if (::GetTickCount() - start > timeoutMs || m_client.Ended()) return false;
        m_buffer += m_client.Read(65536, kReadSliceMs);
    }
}

bool StatusSession::WaitForStatus(const std::string& type, const std::vector<std::string>& states, DWORD timeoutMs,
                                  StatusMessage* found) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent > timeoutMs) return false;
        std::string text;
        if (!NextText(text, timeoutMs - spent)) return false;
        if (text.empty() || text[0] != '{' || JsonField(text, "type") != type) continue;
        for (const std::string& state : states) {
            if (JsonField(text, "state") != state) continue;
            if (found) *found = m_seen.back();
            return true;
        }
    }
}

std::string JsonField(const std::string& json, const std::string& key) {
    const std::string name = "\"" + key + "\":";
    const size_t at = json.find(name);
    if (at == std::string::npos) return std::string();
    size_t from = at + name.size();
    if (from < json.size() && json[from] == '"') {
        size_t end = from + 1;
        while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
        return json.substr(from + 1, end - from - 1);
    }
    const size_t end = json.find_first_of(",}", from);
    return json.substr(from, end - from);
}

std::string LastSeen(const StatusSession& session, size_t count) {
    const auto& seen = session.Seen();
    std::string text;
    for (size_t i = seen.size() > count ? seen.size() - count : 0; i < seen.size(); ++i) text += seen[i].json + "\n";
    return text;
}
