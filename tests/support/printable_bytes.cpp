#include "tests/support/printable_bytes.h"

#include <cstdio>

std::string Printable(const std::string& bytes) {
    std::string shown;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            shown += hex;
        }
    }
    return shown;
}
