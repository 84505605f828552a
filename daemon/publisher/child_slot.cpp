#include "daemon/publisher/child_slot.h"

#include "daemon/publisher/image_names.h"

CChildSlot& ChildSlot(const std::wstring& imageName) {
    // Deliberately leaked: the exit may stop executables while other threads
    // still run; the process's end closes the jobs, which ends what they hold.
    static CChildSlot* encoder = new CChildSlot();
    static CChildSlot* bridge = new CChildSlot();
    static CChildSlot* other = new CChildSlot();
    if (imageName == kEncoderImageName) return *encoder;
    if (imageName == kBridgeImageName) return *bridge;
    return *other;
}
