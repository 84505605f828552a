#pragma once
// The stand-by picture the camera shows while no fresh frame is injected:
// bitmap resource 109 of the module, a 640 x 480 24-bit bottom-up bitmap.
#include <windows.h>

#include <cstdint>

constexpr WORD kStandbyBitmapId = 109;

// The module that contains this code (the camera DLL, or a program that
// links the pin's objects).
HMODULE ModuleOfThisCode();

// Copies the pixels of bitmap 109 of `module` (the 921,600 bytes behind its
// header) into `full`; false, leaving `full` alone, when the resource is
// missing, cannot be loaded or is too small to hold a full picture.
bool LoadStandbyPicture(HMODULE module, uint8_t* full);
