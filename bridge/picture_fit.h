#pragma once
// Where a webcam picture goes in the camera's 640 x 480: as large as fits
// with its aspect ratio kept, centred, the rest black (letterbox for wide
// pictures, pillarbox for narrow ones). Never stretched.
constexpr int kCameraWidth = 640;
constexpr int kCameraHeight = 480;
constexpr int kCameraRowBytes = kCameraWidth * 3;
constexpr int kCameraPictureBytes = kCameraRowBytes * kCameraHeight;  // 921,600

// In picture coordinates: x from the left, y from the top.
struct PictureRect {
    int x;
    int y;
    int width;
    int height;
};

// The rectangle a width x height picture fills.
PictureRect FitPicture(int width, int height);

// Nearest source position for position `index` of `count` target positions
// spread over `sourceCount` source positions, sampled at pixel centres.
inline int NearestSource(int index, int count, int sourceCount) {
    return static_cast<int>((2LL * index + 1) * sourceCount / (2LL * count));
}
