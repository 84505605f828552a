#pragma once
// The outside executables, found, started and killed by exact image name.
const wchar_t kEncoderImageName[] = L"QvShow.exe";
const wchar_t kBridgeImageName[] = L"QvGraph.exe";
// Friendly name of the virtual camera that the encoder always captures.
const wchar_t kVirtualCameraName[] = L"Kavo直播插件";
