#pragma once
// Owning wrapper for a Windows Sockets handle.
#include <winsock2.h>

#include "common/unique_handle.h"

struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static bool IsValid(Handle s) { return s != INVALID_SOCKET; }
    static void Close(Handle s) { ::closesocket(s); }
};

using UniqueSocket = UniqueHandleT<SocketTraits>;
