#include "daemon/picture/picture_request.h"

#include <cstdlib>

namespace {

const char kPictureWord[] = "picture";

// A decimal number of at most five digits, nothing else.
bool ParseSmallNumber(const std::string& text, unsigned& value) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

}  // namespace

PictureRequestParse ParsePictureRequest(const std::string& message, PictureRequest& request) {
    const size_t wordLength = sizeof(kPictureWord) - 1;
    if (message.compare(0, wordLength, kPictureWord) != 0) return PictureRequestParse::NotPicture;
    if (message.size() > wordLength && message[wordLength] != ' ') return PictureRequestParse::NotPicture;

    bool hasRate = false, hasWidth = false;
    unsigned rate = 0, width = 0;
    size_t at = wordLength;
    while (at < message.size()) {
        if (message[at] == ' ') {
            ++at;
            continue;
        }
        // key="value"
        const size_t equals = message.find('=', at);
        if (equals == std::string::npos || equals + 1 >= message.size() || message[equals + 1] != '"')
            return PictureRequestParse::Invalid;
        const size_t close = message.find('"', equals + 2);
        if (close == std::string::npos) return PictureRequestParse::Invalid;
        const std::string key = message.substr(at, equals - at);
        const std::string value = message.substr(equals + 2, close - equals - 2);
        unsigned number = 0;
        if (!ParseSmallNumber(value, number)) return PictureRequestParse::Invalid;
        if (key == "rate" && !hasRate) {
            rate = number;
            hasRate = true;
        } else if (key == "width" && !hasWidth) {
            width = number;
            hasWidth = true;
        } else {
            return PictureRequestParse::Invalid;
        }
        at = close + 1;
        if (at < message.size() && message[at] != ' ') return PictureRequestParse::Invalid;
    }
    if (!hasRate || rate > kPictureMaxRate) return PictureRequestParse::Invalid;
    if (rate != 0 && (!hasWidth || width < kPictureMinWidth || width > kPictureMaxWidth))
        return PictureRequestParse::Invalid;
    request.rate = rate;
    request.width = rate != 0 ? width : 0;
    return PictureRequestParse::Valid;
}
