#pragma once
// The video capture devices that a capture program sees, with the formats
// each offers, leaving out our own virtual camera (by its class).
#include <windows.h>

#include <vector>

#include "daemon/devices/camera_entry.h"

// At most this many formats of one device are kept (drivers that list
// every size in every rate would make a message of many kilobytes).
const size_t kCameraFormatsMax = 64;

// Appends the devices in the system device enumerator's order. A device
// whose filter cannot be bound is listed without formats (its name is what
// a page needs to pick it; why it does not open the bridge says). S_FALSE
// when the category has no device.
HRESULT EnumVideoCaptureDevices(std::vector<CameraEntry>& cameras);

// The formats' list with one entry for each pixel format and size, at the
// highest rate offered for it, largest pictures first.
std::vector<CameraFormat> MergeCameraFormats(const std::vector<CameraFormat>& offered);
