#pragma once
// The daemon's only writers of printed texts (standard output) and debug
// texts (debugger output). Texts are passed byte for byte.
#include <string>

// Writes the bytes to standard output unchanged (no LF to CR LF mapping).
void PrintText(const std::string& text);
// Writes the text followed by "\n".
void PrintLine(const std::string& text);
// printf-style formatting into a printed text; output longer than 8 KiB is cut.
void PrintFormat(const char* format, ...);

void DebugText(const std::string& text);
void DebugText(const std::wstring& text);
