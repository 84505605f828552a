#pragma once
// The opening handshake of a WebSocket session (RFC 6455, section 4.2).
#include <winsock2.h>

#include "daemon/web/http_request.h"

// Answers a request for the WebSocket path: "101 Switching Protocols" and
// true when the session may begin; otherwise the refusal has been sent
// (403 for an origin that may not connect, 426 for another protocol
// version, 400 for a malformed upgrade, 405 for a method other than GET).
bool AnswerWebSocketHandshake(SOCKET connection, const HttpRequest& request);
