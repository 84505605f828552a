#pragma once
// QvShow.exe's own lines on standard error. The daemon mirrors the encoder's
// console output as narrow text in the ANSI code page, so they are written
// in it; each begins with "QvShow: " to stand apart from FFmpeg's lines.
#include <string>

void PrintError(const std::wstring& text);
