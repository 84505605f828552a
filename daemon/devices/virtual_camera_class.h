#pragma once
// The class of the virtual camera this system installs (QvCamera.dll). The
// camera list leaves out every video input device of this class, whatever
// name it was registered under: it is never a source for the camera
// itself. Must equal the camera's own CLSID (a test holds the two equal;
// the daemon does not include the camera's headers).
#include <windows.h>

// {7C2A9E14-3B58-4F61-A0D7-52E8B1C64F09}
constexpr CLSID kVirtualCameraClass = {0x7C2A9E14, 0x3B58, 0x4F61, {0xA0, 0xD7, 0x52, 0xE8, 0xB1, 0xC6, 0x4F, 0x09}};
