#pragma once
// What the system records about registered filters, read back the way a
// capture program reads it: the COM server keys and the entries that the
// system device enumerator lists for a category.
#include <windows.h>

#include <string>
#include <vector>

struct FilterPinData {
    DWORD flags = 0;  // REG_PINFLAG_B_*
    DWORD instances = 0;
    std::vector<std::pair<GUID, GUID>> types;  // major, minor
};

struct FilterData {
    bool valid = false;
    DWORD version = 0;
    DWORD merit = 0;
    std::vector<FilterPinData> pins;
};

struct DeviceEntry {
    std::wstring friendlyName;
    std::wstring clsid;  // as stored, in registry form
    std::vector<BYTE> filterData;
};

// Every entry that ICreateDevEnum lists for `category` (COM initialised by
// the caller); an empty list when the category has none.
std::vector<DeviceEntry> ListDevices(REFCLSID category);
// Entries of `category` whose CLSID is `clsid`.
std::vector<DeviceEntry> DevicesOfClass(REFCLSID category, REFCLSID clsid);

// The mapper's binary record of a filter (version 2 layout: header, pins,
// media types, GUIDs by offset).
FilterData ParseFilterData(const std::vector<BYTE>& blob);

// A REG_SZ value under HKEY_CLASSES_ROOT; false when the key or value is missing.
bool ReadClassesRootString(const std::wstring& keyPath, const wchar_t* valueName, std::wstring& value);
bool ClassesRootKeyExists(const std::wstring& keyPath);

std::wstring GuidText(REFGUID guid);  // upper case, with braces
