// Test program: parses one receive buffer given as hex on the command line,
// so a test can see exactly what the parse prints. Exit code 1: accepted.
#include "daemon/command/parse_command.h"

#include <cstdlib>
#include <cstring>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring hex = argv[1];
    char buffer[kReceiveBufferSize] = {};
    int held = 0;
    for (size_t i = 0; i + 1 < hex.size() && held < kReceiveBufferSize; i += 2)
        buffer[held++] = static_cast<char>(wcstol(hex.substr(i, 2).c_str(), nullptr, 16));
    RecvCmd cmd;
    return ParseCommand(buffer, held, cmd) ? 1 : 0;
}
