#pragma once
// Recognising a browser on the command port. Any web page can make the
// browser open a connection to a loopback port (an image, a fetch) and send
// an HTTP request there; its request line would otherwise parse as a command
// ("GET /stop HTTP/1.1" contains "stop").
#include <cstddef>

// Whether the bytes begin with an HTTP/1.x request line: a method word, a
// blank, a target, " HTTP/1.". False while too few bytes have arrived to tell.
bool BeginsWithHttpRequestLine(const char* bytes, size_t count);
