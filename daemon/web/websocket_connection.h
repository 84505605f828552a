#pragma once
// One WebSocket connection after its handshake: whole text messages in,
// text frames out, pings answered, the close handshake, and the close codes
// for clients that break the protocol.
#include "common/non_copyable.h"
#include "daemon/command/shared_socket.h"

#include <cstdint>
#include <mutex>
#include <string>

class WebSocketConnection : private CNonCopyable {
public:
    // received: bytes that came behind the handshake. The socket's receive
    // time-out decides how long a receive waits before reporting silence.
    // Receives run on the thread that will close the socket; sends may come
    // from others and go through the socket's guard.
    WebSocketConnection(SharedSocket& socket, std::string received)
        : m_socket(socket), m_received(std::move(received)) {}

    enum class Received {
        Message,  // a whole, valid UTF-8 text message
        Silence,  // the receive time-out passed; what arrived so far is kept
        Closed    // the client closed, failed, or broke the protocol (and was told why)
    };
    Received ReceiveText(std::string& message);

    // May be called from another thread than the receiving one (the status
    // feed): frames never interleave.
    bool SendText(const std::string& utf8);
    // One binary message (a picture), under the same guard.
    bool SendBinary(const std::string& bytes);

private:
    bool SendFrame(uint8_t opcode, const std::string& payload);
    // False once the connection has closed.
    bool HandleControl(uint8_t opcode, const std::string& payload);
    // Sends a close frame with the code and waits briefly for the client to
    // end the connection, so that the close frame is not lost to a reset.
    Received Fail(uint16_t code);
    Received CloseWith(const std::string& payload);

    SharedSocket& m_socket;
    std::string m_received;
    std::string m_message;
    bool m_inMessage = false;
    bool m_binary = false;
    std::mutex m_sendMutex;
    // Nothing may follow a close frame.
    bool m_closeSent = false;
};
