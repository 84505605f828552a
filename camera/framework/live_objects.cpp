#include "camera/framework/live_objects.h"

namespace {
volatile LONG g_liveObjects = 0;
volatile LONG g_serverLocks = 0;
}  // namespace

LONG LiveObjectCount() { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }
LONG ServerLockCount() { return InterlockedCompareExchange(&g_serverLocks, 0, 0); }

void ChangeServerLock(bool lock) {
    if (lock) {
        InterlockedIncrement(&g_serverLocks);
    } else {
        InterlockedDecrement(&g_serverLocks);
    }
}

HRESULT FrameworkCanUnloadNow() {
    return (ServerLockCount() > 0 || LiveObjectCount() != 0) ? S_FALSE : S_OK;
}

CLiveObject::CLiveObject() { InterlockedIncrement(&g_liveObjects); }
CLiveObject::~CLiveObject() { InterlockedDecrement(&g_liveObjects); }
