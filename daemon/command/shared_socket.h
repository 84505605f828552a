#pragma once
// A socket used by one thread that other threads may send on or wake up: the
// listener's shutdown ends the latest session this way instead of killing its
// thread, which could hold the publishing state's lock at that moment, and a
// WebSocket's status feed sends beside its session.
#include <winsock2.h>

#include <shared_mutex>
#include <string>

#include "common/non_copyable.h"

class SharedSocket : private CNonCopyable {
public:
    explicit SharedSocket(SOCKET socket) : m_socket(socket) {}
    ~SharedSocket() { Close(); }

    // INVALID_SOCKET once closed. Only the thread that closes the socket may
    // use the value: any other thread's use could reach a handle that the
    // system has since given to another connection.
    SOCKET get();
    // Sends every byte, in as many calls as the socket needs; false once the
    // socket is closed or on the first failed or zero send. A close waits
    // for a send in progress, so a send never reaches a reused handle.
    bool Send(const std::string& bytes);
    void Close();
    // Makes blocked and later receives and sends of the user fail or end.
    void Shutdown();
    // Ends the sending side only (the close handshake of a protocol).
    void ShutdownSend();

private:
    std::shared_mutex m_mutex;
    SOCKET m_socket;
};
