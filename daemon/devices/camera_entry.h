#pragma once
// One video capture device as the camera listing sees it.
#include <string>
#include <vector>

struct CameraFormat {
    std::wstring pixelFormat;  // "YUY2", "MJPG", "NV12", "RGB24"...
    int width = 0;
    int height = 0;
    double maxFrameRate = 0;   // the highest the device offers at this size; 0 when it does not say

    bool operator==(const CameraFormat& other) const {
        return pixelFormat == other.pixelFormat && width == other.width && height == other.height &&
               maxFrameRate == other.maxFrameRate;
    }
};

struct CameraEntry {
    std::wstring name;  // FriendlyName as DirectShow gives it
    std::vector<CameraFormat> formats;

    bool operator==(const CameraEntry& other) const { return name == other.name && formats == other.formats; }
};
