#pragma once
#include <string>

// Bytes as a readable text for failure messages: printable ASCII as it is,
// every other byte as \xNN.
std::string Printable(const std::string& bytes);
