#include "daemon/command/command_reply.h"

const char* CommandReply(const std::wstring& command) {
    if (command == L"start") return "start ok\r\n";
    if (command == L"stop") return "stop ok\r\n";
    if (command == L"preview") return "preview ok\r\n";
    return "cmd error\r\n";
}
