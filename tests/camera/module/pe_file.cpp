#include "tests/camera/module/pe_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

template <typename T>
bool ReadAt(const std::vector<char>& bytes, size_t offset, T& value) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return true;
}

std::string SectionName(const IMAGE_SECTION_HEADER& header) {
    const char* name = reinterpret_cast<const char*>(header.Name);
    return std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
}

// File offset of a relative virtual address, through the section table.
bool RvaToOffset(const std::vector<IMAGE_SECTION_HEADER>& headers, DWORD rva, size_t& offset) {
    for (const IMAGE_SECTION_HEADER& h : headers) {
        DWORD size = h.Misc.VirtualSize > h.SizeOfRawData ? h.Misc.VirtualSize : h.SizeOfRawData;
        if (rva >= h.VirtualAddress && rva < h.VirtualAddress + size) {
            offset = static_cast<size_t>(rva - h.VirtualAddress) + h.PointerToRawData;
            return true;
        }
    }
    return false;
}

}  // namespace

PeFile ReadPeFile(const std::wstring& path) {
    PeFile pe;
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return pe;
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER fileHeader = {};
    if (!ReadAt(bytes, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return pe;
    size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
    if (!ReadAt(bytes, ntOffset, signature) || signature != IMAGE_NT_SIGNATURE) return pe;
    if (!ReadAt(bytes, ntOffset + 4, fileHeader)) return pe;
    size_t optionalOffset = ntOffset + 4 + sizeof(IMAGE_FILE_HEADER);
    WORD magic = 0;
    if (!ReadAt(bytes, optionalOffset, magic)) return pe;

    IMAGE_DATA_DIRECTORY exports = {};
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        IMAGE_OPTIONAL_HEADER64 optional = {};
        if (!ReadAt(bytes, optionalOffset, optional)) return pe;
        exports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 optional = {};
        if (!ReadAt(bytes, optionalOffset, optional)) return pe;
        exports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    } else {
        return pe;
    }

    std::vector<IMAGE_SECTION_HEADER> headers(fileHeader.NumberOfSections);
    size_t sectionOffset = optionalOffset + fileHeader.SizeOfOptionalHeader;
    for (size_t i = 0; i < headers.size(); ++i) {
        if (!ReadAt(bytes, sectionOffset + i * sizeof(IMAGE_SECTION_HEADER), headers[i])) return pe;
        pe.sections.push_back({SectionName(headers[i]), headers[i].Misc.VirtualSize, headers[i].VirtualAddress,
                               headers[i].Characteristics});
    }

    if (exports.VirtualAddress != 0) {
        size_t directoryOffset = 0;
        IMAGE_EXPORT_DIRECTORY directory = {};
        if (!RvaToOffset(headers, exports.VirtualAddress, directoryOffset) ||
            !ReadAt(bytes, directoryOffset, directory))
            return pe;
        size_t namesOffset = 0;
        if (directory.NumberOfNames > 0 && !RvaToOffset(headers, directory.AddressOfNames, namesOffset)) return pe;
        for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
            DWORD nameRva = 0;
            size_t nameOffset = 0;
            if (!ReadAt(bytes, namesOffset + i * 4, nameRva) || !RvaToOffset(headers, nameRva, nameOffset)) return pe;
            size_t end = nameOffset;
            while (end < bytes.size() && bytes[end] != '\0') ++end;
            pe.exportNames.emplace_back(bytes.data() + nameOffset, end - nameOffset);
        }
    }
    pe.valid = true;
    return pe;
}

std::vector<PeSection> LoadedSections(HMODULE module) {
    std::vector<PeSection> sections;
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_SECTION_HEADER* header = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++header)
        sections.push_back({SectionName(*header), header->Misc.VirtualSize, header->VirtualAddress, header->Characteristics});
    return sections;
}

BYTE* LoadedSectionData(HMODULE module, const char* name, DWORD* virtualSize) {
    for (const PeSection& section : LoadedSections(module)) {
        if (section.name != name) continue;
        if (virtualSize) *virtualSize = section.virtualSize;
        return reinterpret_cast<BYTE*>(module) + section.virtualAddress;
    }
    return nullptr;
}
