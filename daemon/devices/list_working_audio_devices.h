#pragma once
// The audio capture devices that connect to a renderer and run.
#include <windows.h>

#include <string>
#include <vector>

// Tests each device in a graph of its own on the calling thread's own COM
// apartment and appends the names of those that run. Calls from several
// threads take turns.
HRESULT ListWorkingAudioDevices(std::vector<std::wstring>& result);
