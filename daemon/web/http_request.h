#pragma once
// The head of one HTTP/1.x request to the web endpoint: request line and
// header fields. Only what the endpoint needs; no body is ever read.
#include <winsock2.h>

#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> fields;

    // The field's value (blanks around it removed); repeated fields are
    // joined with ", ". False when absent.
    bool Field(const char* name, std::string& value) const;
    // Whether a comma-separated field lists the token (case-insensitive).
    bool FieldHasToken(const char* name, const char* token) const;
};

enum class HeadRead {
    Complete,  // head holds the request up to and with its empty line
    TimedOut,  // the client went silent before the head was complete
    TooLarge,  // the head is longer than the endpoint accepts
    Gone       // the client closed or the connection failed
};

// Reads until the empty line that ends the head, giving up at deadlineTick
// (GetTickCount64). Bytes that followed the head are left in `rest`.
HeadRead ReadRequestHead(SOCKET connection, ULONGLONG deadlineTick, std::string& head, std::string& rest);

// False for a head that is not a well-formed HTTP/1.x request.
bool ParseRequestHead(const std::string& head, HttpRequest& request);

// ASCII case-insensitive comparison, as header names and tokens compare.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
