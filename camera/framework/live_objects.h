#pragma once
// What keeps a DirectShow module loaded: live framework objects and the
// class-factory server locks. DllCanUnloadNow asks both.
#include <windows.h>

LONG LiveObjectCount();
LONG ServerLockCount();
// IClassFactory::LockServer.
void ChangeServerLock(bool lock);
// S_OK when nothing keeps the module loaded, otherwise S_FALSE.
HRESULT FrameworkCanUnloadNow();

// Base of every framework object: counts itself for its whole life.
class CLiveObject {
protected:
    CLiveObject();
    ~CLiveObject();

public:
    CLiveObject(const CLiveObject&) = delete;
    CLiveObject& operator=(const CLiveObject&) = delete;
};
