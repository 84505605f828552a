#pragma once
// The bridge's only writer of texts. The daemon starts it without a window
// and without handles, so a failure is also written to the debugger output,
// where a debug viewer finds it.
#include <string>

// One line on standard error (UTF-8) and the same text on the debugger
// output (UTF-16).
void ReportLine(const std::wstring& line);
// A line on standard output and the debugger output (the start line).
void AnnounceLine(const std::wstring& line);

// "0x80040154".
std::wstring HresultText(long result);
