#include "daemon/publisher/child_slot.h"

#include "common/child_exit_codes.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/leftover_processes.h"

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

bool EndExecutable(const std::wstring& imageName, CChildSlot& slot, DWORD budgetMs) {
    const ULONGLONG deadline = ::GetTickCount64() + budgetMs;
    bool ended = false;
    if (slot.process.Running()) {
        slot.process.End(kExitKilledByDaemon, budgetMs);
        ended = true;
    }
    slot.process.Reset();
    const ULONGLONG now = ::GetTickCount64();
    if (EndLeftovers(imageName, 0, now < deadline ? static_cast<DWORD>(deadline - now) : 0)) ended = true;
    return ended;
}
