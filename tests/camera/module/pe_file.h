#pragma once
// Reading a module's headers as the loader sees them: from its file, and
// from its image once it is loaded. For checks of what the build produced.
#include <windows.h>

#include <string>
#include <vector>

struct PeSection {
    std::string name;
    DWORD virtualSize = 0;
    DWORD virtualAddress = 0;
    DWORD characteristics = 0;
};

struct PeFile {
    bool valid = false;
    std::vector<PeSection> sections;
    std::vector<std::string> exportNames;  // in the export directory's order
};

// Parses the file's section table and export directory; valid is false when
// the file cannot be read or is no PE image.
PeFile ReadPeFile(const std::wstring& path);

// The sections of a loaded module, from its mapped headers.
std::vector<PeSection> LoadedSections(HMODULE module);
// Start of the named section in the loaded image, or null.
BYTE* LoadedSectionData(HMODULE module, const char* name, DWORD* virtualSize = nullptr);
