#pragma once
// The WebSocket session's request for pictures of the camera:
//   picture rate="<1-15>" width="<160-1280>"   pictures at most that often, that wide
//   picture rate="0"                           no more pictures
#include <string>

constexpr unsigned kPictureMaxRate = 15;
constexpr unsigned kPictureMinWidth = 160;
constexpr unsigned kPictureMaxWidth = 1280;

struct PictureRequest {
    unsigned rate = 0;   // pictures a second; 0 stops them
    unsigned width = 0;  // pixels; unused when rate is 0
};

enum class PictureRequestParse {
    NotPicture,  // some other message: the command grammar's
    Invalid,     // a picture request with a value out of range or malformed: ignored
    Valid,
};

// Reads one whole text message (UTF-8; the request itself is ASCII).
PictureRequestParse ParsePictureRequest(const std::string& message, PictureRequest& request);
