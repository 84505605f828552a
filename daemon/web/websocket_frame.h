#pragma once
// WebSocket frames (RFC 6455, section 5) as the server sees them: client
// frames taken from the received bytes, server frames built to be sent.
#include <cstddef>
#include <cstdint>
#include <string>

enum WebSocketOpcode : uint8_t {
    kOpContinuation = 0x0,
    kOpText = 0x1,
    kOpBinary = 0x2,
    kOpClose = 0x8,
    kOpPing = 0x9,
    kOpPong = 0xA,
};

// Close codes of RFC 6455, section 7.4.1.
enum WebSocketCloseCode : uint16_t {
    kCloseNormal = 1000,
    kCloseProtocolError = 1002,
    kCloseUnsupportedData = 1003,
    kCloseInvalidText = 1007,
    kCloseTooBig = 1009,
};

// The largest message the endpoint takes; commands are a few hundred bytes.
const size_t kMaxMessageBytes = 64 * 1024;

struct WebSocketFrame {
    bool fin = false;
    uint8_t opcode = 0;
    std::string payload;  // unmasked
};

enum class FrameTake { Incomplete, Complete, Fault };

// Takes the first whole frame from the front of `received`. messageBytes is
// the size of the fragmented message that a continuation frame would add to.
// Fault sets closeCode: 1002 for reserved bits, an unknown opcode, an
// unmasked frame, a fragmented or long control frame; 1009 for a data frame
// that would make the message longer than kMaxMessageBytes.
FrameTake TakeClientFrame(std::string& received, size_t messageBytes, WebSocketFrame& frame, uint16_t& closeCode);

// One unfragmented, unmasked server frame.
std::string ServerFrame(uint8_t opcode, const std::string& payload);
