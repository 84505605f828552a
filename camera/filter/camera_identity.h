#pragma once
// Who the camera is to COM and DirectShow. The daemon names the encoder's
// video device with the same friendly name, character for character.
#include <windows.h>

// {7C2A9E14-3B58-4F61-A0D7-52E8B1C64F09}
constexpr CLSID CLSID_VirtualCamera = {0x7C2A9E14, 0x3B58, 0x4F61, {0xA0, 0xD7, 0x52, 0xE8, 0xB1, 0xC6, 0x4F, 0x09}};

constexpr wchar_t kCameraFriendlyName[] = L"Kavo直播插件";
