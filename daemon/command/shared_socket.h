#pragma once
// A socket used by one thread that another thread may wake up: the listener's
// shutdown ends the latest session this way instead of killing its thread,
// which could hold the publishing state's lock at that moment.
#include <winsock2.h>

#include <mutex>

class SharedSocket {
public:
    explicit SharedSocket(SOCKET socket) : m_socket(socket) {}
    ~SharedSocket() { Close(); }
    SharedSocket(const SharedSocket&) = delete;
    SharedSocket& operator=(const SharedSocket&) = delete;

    // INVALID_SOCKET once closed.
    SOCKET get();
    // Closing and shutting down are serialised, so a shutdown never reaches a
    // handle value that the system has already given to another socket.
    void Close();
    // Makes blocked and later receives and sends of the user fail or end.
    void Shutdown();

private:
    std::mutex m_mutex;
    SOCKET m_socket;
};
