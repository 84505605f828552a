#include "daemon/web/websocket_frame.h"

namespace {

const uint8_t kFinBit = 0x80;
const uint8_t kReservedBits = 0x70;
const uint8_t kMaskBit = 0x80;
const size_t kMaxControlPayload = 125;

bool IsKnownOpcode(uint8_t opcode) {
    return opcode <= kOpBinary || (opcode >= kOpClose && opcode <= kOpPong);
}

}  // namespace

FrameTake TakeClientFrame(std::string& received, size_t messageBytes, WebSocketFrame& frame, uint16_t& closeCode) {
    if (received.size() < 2) return FrameTake::Incomplete;
    const uint8_t first = static_cast<uint8_t>(received[0]);
    const uint8_t second = static_cast<uint8_t>(received[1]);
    const uint8_t opcode = first & 0x0F;
    const bool control = (opcode & 0x08) != 0;
    closeCode = kCloseProtocolError;
    if ((first & kReservedBits) != 0 || !IsKnownOpcode(opcode) || (second & kMaskBit) == 0) return FrameTake::Fault;

    size_t headerBytes = 2;
    uint64_t length = second & 0x7F;
    const size_t extended = length == 126 ? 2 : length == 127 ? 8 : 0;
    if (received.size() < headerBytes + extended) return FrameTake::Incomplete;
    if (extended) {
        length = 0;
        for (size_t i = 0; i < extended; ++i) length = (length << 8) | static_cast<uint8_t>(received[2 + i]);
        headerBytes += extended;
        // The most significant bit of a 64-bit length must be 0.
        if (extended == 8 && (length >> 63) != 0) return FrameTake::Fault;
    }
    if (control && (length > kMaxControlPayload || (first & kFinBit) == 0)) return FrameTake::Fault;
    const size_t already = opcode == kOpContinuation ? messageBytes : 0;
    if (!control && length > kMaxMessageBytes - already) {
        closeCode = kCloseTooBig;
        return FrameTake::Fault;
    }

    const size_t maskBytes = 4;
    const size_t total = headerBytes + maskBytes + static_cast<size_t>(length);
    if (received.size() < total) return FrameTake::Incomplete;
    const char* mask = received.data() + headerBytes;
    frame.fin = (first & kFinBit) != 0;
    frame.opcode = opcode;
    frame.payload.assign(received, headerBytes + maskBytes, static_cast<size_t>(length));
    for (size_t i = 0; i < frame.payload.size(); ++i) frame.payload[i] ^= mask[i % 4];
    received.erase(0, total);
    return FrameTake::Complete;
}

std::string ServerFrame(uint8_t opcode, const std::string& payload) {
    std::string frame(1, static_cast<char>(kFinBit | opcode));
    const uint64_t length = payload.size();
    if (length < 126) {
        frame += static_cast<char>(length);
    } else if (length <= 0xFFFF) {
        frame += static_cast<char>(126);
        frame += static_cast<char>(length >> 8);
        frame += static_cast<char>(length & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((length >> shift) & 0xFF);
    }
    return frame + payload;
}
