#pragma once
// The device list a WebSocket client gets right after the greeting and
// again whenever devices come or go:
//   {"type":"devices","cameras":[{"name":"HD USB Camera","formats":
//     [{"pixelFormat":"MJPG","width":1920,"height":1080,"maxFrameRate":30}]}],
//    "microphones":["..."]}
// Names as the platform gives them, in UTF-8; the microphones are the
// working ones, as the greeting names them.
#include "daemon/devices/camera_entry.h"

#include <string>
#include <vector>

std::string DevicesJson(const std::vector<CameraEntry>& cameras, const std::vector<std::wstring>& microphones);
