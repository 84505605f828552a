#pragma once
// The bytes of port 19723 as a client sees them.
#include "tests/daemon/command/wire_client.h"
#include "tests/support/printable_bytes.h"

#include <string>

// Server messages, each with its NUL.
const std::string kNoDeviceGreeting("null$1.0.0\0", 11);
const std::string kStartReply("start ok\r\n\0", 11);
const std::string kStopReply("stop ok\r\n\0", 10);
const std::string kPreviewReply("preview ok\r\n\0", 13);
// Push-level words in code page 936, with their NUL.
const std::string kWordLevel0("\xB3\xAC\xC7\xE5\0", 5);  // 超清
const std::string kWordLevel1("\xB8\xDF\xC7\xE5\0", 5);  // 高清
const std::string kWordLevel2("\xB1\xEA\xC7\xE5\0", 5);  // 标清
const std::string kWordLevel3("\xBC\xAB\xCB\xD9\0", 5);  // 极速
const std::string kWordLevel4("720P\0", 5);
const std::string kWordLevel5("1080P\0", 6);

// UTF-16 to code page 936, as the client sends its lines.
std::string Gbk(const std::wstring& text);
// A client message: the line in code page 936, CR LF and the NUL.
std::string Message(const std::wstring& line);

bool IsPushLevelWord(const std::string& message);


// The next message that is not a push-level announcement (those come on
// every quiet 3 s and are checked by tests of their own). What arrived of
// it when none came within timeoutMs.
std::string NextReply(WireClient& client, DWORD timeoutMs = 10000);
// The bytes of the messages other than announcements arriving within ms.
std::string RepliesWithin(WireClient& client, DWORD ms);
