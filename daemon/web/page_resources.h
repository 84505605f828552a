#pragma once
// The control page's files, from the resources of the running program: the
// page works offline and fetches nothing from the network.
#include <string>

struct PageFile {
    std::string contentType;
    std::string bytes;
};

// The file served at `path` ("/", "/app.js", "/style.css"); false when there
// is none, or the program carries no such resource (a test host).
bool FindPageFile(const std::string& path, PageFile& file);
