#pragma once
// What the command port answers to a dispatched command.
#include <string>

// "start ok\r\n", "stop ok\r\n", "preview ok\r\n", otherwise "cmd error\r\n"
// (which no accepted command reaches). Sent with a NUL behind it.
const char* CommandReply(const std::wstring& command);
