#pragma once
// A WebSocket client of the daemon's endpoint for the chain tests: the
// handshake without an Origin (a client outside any browser), masked text
// frames out, unmasked text frames in. Only what a test needs.
#include "tests/daemon/command/wire_client.h"

#include <cstdint>
#include <string>

class WebSocketTextClient {
public:
    bool Connect(uint16_t port, DWORD timeoutMs = 10000) {
        if (!m_wire.Connect(port, timeoutMs)) return false;
        m_wire.Send("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        std::string head;
        while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
            const std::string byte = m_wire.Read(1, timeoutMs);
            if (byte.empty()) return false;
            head += byte;
        }
        return head.compare(0, 12, "HTTP/1.1 101") == 0;
    }

    // One frame with a zero mask key, which leaves the payload as it is.
    bool SendText(const std::string& utf8) {
        std::string frame("\x81", 1);
        if (utf8.size() < 126) {
            frame += static_cast<char>(0x80 | utf8.size());
        } else {
            frame += static_cast<char>(0x80 | 126);
            frame += static_cast<char>(utf8.size() >> 8);
            frame += static_cast<char>(utf8.size() & 0xFF);
        }
        frame += std::string(4, '\0') + utf8;
        return m_wire.Send(frame);
    }

    // The next text message; false on anything else or time-out.
    bool ReceiveText(std::string& utf8, DWORD timeoutMs) {
        const std::string head = m_wire.Read(2, timeoutMs);
        if (head.size() != 2 || static_cast<uint8_t>(head[0]) != 0x81) return false;
        size_t length = static_cast<uint8_t>(head[1]) & 0x7F;
        if (length == 126) {
            const std::string extended = m_wire.Read(2, timeoutMs);
            if (extended.size() != 2) return false;
            length = (static_cast<size_t>(static_cast<uint8_t>(extended[0])) << 8) | static_cast<uint8_t>(extended[1]);
        } else if (length == 127) {
            return false;
        }
        utf8 = m_wire.Read(length, timeoutMs);
        return utf8.size() == length;
    }

private:
    WireClient m_wire;
};
