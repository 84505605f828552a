#pragma once
// The tool's printed lines. Device names are Chinese as often as not: a
// console gets them as UTF-16, a pipe or file as UTF-8.
#include <string>

void PrintOutLine(const std::wstring& text);
void PrintErrorLine(const std::wstring& text);
