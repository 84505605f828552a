#pragma once
// The module's own copy of its instance handle (the framework keeps one for
// itself); resources such as the stand-by picture are loaded from it.
#include <windows.h>

HINSTANCE CameraModuleInstance();
