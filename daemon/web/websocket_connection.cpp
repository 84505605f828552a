#include "daemon/web/websocket_connection.h"

#include "daemon/web/http_response.h"
#include "daemon/text/utf8_text.h"
#include "daemon/web/websocket_frame.h"

namespace {

const DWORD kCloseDrainMs = 1000;

bool IsValidCloseCode(uint16_t code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) || (code >= 3000 && code <= 4999);
}

std::string ClosePayload(uint16_t code) {
    std::string payload;
    payload += static_cast<char>(code >> 8);
    payload += static_cast<char>(code & 0xFF);
    return payload;
}

}  // namespace

WebSocketConnection::Received WebSocketConnection::ReceiveText(std::string& message) {
    for (;;) {
        WebSocketFrame frame;
        uint16_t closeCode = 0;
        const FrameTake take = TakeClientFrame(m_received, m_inMessage ? m_message.size() : 0, frame, closeCode);
        if (take == FrameTake::Fault) return Fail(closeCode);
        if (take == FrameTake::Incomplete) {
            char chunk[4096];
            const int count = ::recv(m_socket.get(), chunk, sizeof(chunk), 0);
            if (count > 0) {
                m_received.append(chunk, static_cast<size_t>(count));
                continue;
            }
            if (count < 0 && ::WSAGetLastError() == WSAETIMEDOUT) return Received::Silence;
            return Received::Closed;
        }
        if (frame.opcode >= kOpClose) {
            if (!HandleControl(frame.opcode, frame.payload)) return Received::Closed;
            continue;
        }
        // A continuation needs a message to continue; a new message must
        // wait until the fragmented one has ended.
        if ((frame.opcode == kOpContinuation) != m_inMessage) return Fail(kCloseProtocolError);
        if (frame.opcode != kOpContinuation) m_binary = frame.opcode == kOpBinary;
        m_inMessage = true;
        m_message += frame.payload;
        if (!frame.fin) continue;
        m_inMessage = false;
        message.swap(m_message);
        m_message.clear();
        if (m_binary) return Fail(kCloseUnsupportedData);
        if (!IsValidUtf8(message)) return Fail(kCloseInvalidText);
        return Received::Message;
    }
}

bool WebSocketConnection::SendText(const std::string& utf8) { return SendFrame(kOpText, utf8); }

bool WebSocketConnection::SendBinary(const std::string& bytes) { return SendFrame(kOpBinary, bytes); }

bool WebSocketConnection::SendFrame(uint8_t opcode, const std::string& payload) {
    std::lock_guard<std::mutex> guard(m_sendMutex);
    if (m_closeSent) return false;
    if (opcode == kOpClose) m_closeSent = true;
    return m_socket.Send(ServerFrame(opcode, payload));
}

bool WebSocketConnection::HandleControl(uint8_t opcode, const std::string& payload) {
    if (opcode == kOpPing) return SendFrame(kOpPong, payload);
    if (opcode == kOpPong) return true;
    // Close: answered with the client's own code, unless the frame is malformed.
    if (payload.empty()) {
        CloseWith(ClosePayload(kCloseNormal));
    } else if (payload.size() == 1) {
        Fail(kCloseProtocolError);
    } else {
        const uint16_t code =
            static_cast<uint16_t>((static_cast<uint8_t>(payload[0]) << 8) | static_cast<uint8_t>(payload[1]));
        if (!IsValidCloseCode(code)) Fail(kCloseProtocolError);
        else if (!IsValidUtf8(payload.substr(2))) Fail(kCloseInvalidText);
        else CloseWith(ClosePayload(code));
    }
    return false;
}

WebSocketConnection::Received WebSocketConnection::Fail(uint16_t code) { return CloseWith(ClosePayload(code)); }

WebSocketConnection::Received WebSocketConnection::CloseWith(const std::string& payload) {
    SendFrame(kOpClose, payload);
    m_socket.ShutdownSend();
    const SOCKET socket = m_socket.get();
    const ULONGLONG deadline = ::GetTickCount64() + kCloseDrainMs;
    const DWORD drainTimeout = 200;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&drainTimeout), sizeof(drainTimeout));
    char discard[1024];
    while (::GetTickCount64() < deadline) {
        const int count = ::recv(socket, discard, sizeof(discard), 0);
        if (count == 0 || (count < 0 && ::WSAGetLastError() != WSAETIMEDOUT)) break;
    }
    return Received::Closed;
}
