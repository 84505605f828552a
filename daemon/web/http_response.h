#pragma once
// Answers of the web endpoint. Every answer but the WebSocket upgrade ends
// the connection: one request per connection keeps each connection's thread
// short-lived and its state trivial.
#include <winsock2.h>

#include <string>

// Fields every answer of the endpoint carries. Another site's page must not
// load the page's files (a <script src> would tell it the daemon runs), keep a
// handle on a window of the page it opened, nor learn where the user came from.
extern const char kIsolationFields[];
// The page drives the user's camera: no other site may frame it, and nothing
// it loads or connects to comes from anywhere but this endpoint. Every answer
// carries it, the WebSocket upgrade's too.
extern const char kContentSecurityPolicyField[];

// status: 200, 400, 403, 404, 405, 408, 426, 431, 500, 503.
// extraFields: whole header lines, each ending in CR LF.
bool SendHttpResponse(SOCKET connection, int status, const std::string& contentType, const std::string& body,
                      const std::string& extraFields = std::string());

// A short plain-text answer for the error statuses.
bool SendHttpError(SOCKET connection, int status, const std::string& extraFields = std::string());
