#include "bridge/picture_fit.h"

PictureRect FitPicture(int width, int height) {
    PictureRect rect = {0, 0, kCameraWidth, kCameraHeight};
    const long long wide = static_cast<long long>(width) * kCameraHeight;
    const long long tall = static_cast<long long>(height) * kCameraWidth;
    if (wide > tall) {
        rect.height = static_cast<int>((2LL * height * kCameraWidth + width) / (2LL * width));
    } else if (wide < tall) {
        rect.width = static_cast<int>((2LL * width * kCameraHeight + height) / (2LL * height));
    }
    if (rect.width < 1) rect.width = 1;
    if (rect.height < 1) rect.height = 1;
    rect.x = (kCameraWidth - rect.width) / 2;
    rect.y = (kCameraHeight - rect.height) / 2;
    return rect;
}
