#pragma once
// One client of the command port, on a thread of its own.
#include <windows.h>

#include <memory>

#include "daemon/command/session_slots.h"
#include "daemon/command/shared_socket.h"

// The receive time-out that paces the push-level announcements.
const DWORD kSessionReceiveTimeoutMs = 3000;

// Thread procedure (result 0). parameter: what MakeSessionParameter made;
// the session owns it from then on and closes the socket when it ends.
DWORD WINAPI ClientSession(LPVOID parameter);

// The command port's sessions; the listener takes a slot for each.
SessionSlots& CommandPortSlots();

// Wraps the accepted socket and its slot for ClientSession, which gives the
// slot back when it ends. The caller keeps its own reference to shut the
// session down; if the thread cannot be started, FreeSessionParameter gives
// the wrapper (and the slot) back.
LPVOID MakeSessionParameter(std::shared_ptr<SharedSocket> connection, SessionSlot slot);
void FreeSessionParameter(LPVOID parameter);
