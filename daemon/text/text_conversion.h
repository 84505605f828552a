#pragma once
// Conversions between UTF-16 and code page 936 (GBK) byte text, independent
// of the system's ANSI code page.
#include <string>

// UTF-16 units with no GBK form become '?'; an unpaired surrogate too.
// The result is cut at its first NUL.
std::string WideToNarrow(const std::wstring& wide);

// Bytes that do not start a valid GBK character become U+FFFD, one per
// offending byte, and decoding resumes at the next byte. The result is cut
// at its first NUL.
std::wstring NarrowToWide(const std::string& narrow);
