#pragma once
// Registration data of a filter: what the filter mapper stores about it.
#include <windows.h>
#include <dshow.h>

using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;

struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};

// Registers (or unregisters) `setup` in the mapper's default category, with
// IFilterMapper2 and, where that is missing, the older IFilterMapper. The
// caller has initialised COM. Not-registered (0x80070002) on unregistration
// counts as success.
HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& setup, bool doRegister);
