#include "daemon/publisher/launch_lock.h"

#include "daemon/publisher/image_names.h"

std::recursive_mutex& LaunchLock(const std::wstring& imageName) {
    // Deliberately leaked: the exit may stop executables while other threads still run.
    static std::recursive_mutex* encoder = new std::recursive_mutex();
    static std::recursive_mutex* bridge = new std::recursive_mutex();
    static std::recursive_mutex* other = new std::recursive_mutex();
    if (imageName == kEncoderImageName) return *encoder;
    if (imageName == kBridgeImageName) return *bridge;
    return *other;
}
