#pragma once
// Launches and stops of one outside executable happen one at a time, so a
// restart already in flight cannot outlive a stop. Recursive, because the
// supervisor holds it across its check of the wanted flag and the launch.
// Never taken while the lock of PublishState is held.
#include "common/non_copyable.h"
#include <windows.h>

#include <mutex>
#include <string>

// The lock of the encoder or of the bridge; any other name gets a lock of
// its own shared by all other names.
std::recursive_mutex& LaunchLock(const std::wstring& imageName);

// A stop of this image name is on its way: while one lives, the settling
// wait of a launch in flight ends at once, so that the stop is not held
// behind the launch lock for a second or two.
class CStopRequest : CNonCopyable {
public:
    explicit CStopRequest(const std::wstring& imageName);
    ~CStopRequest();

private:
    std::wstring m_imageName;
};

// The wait after a launch that lets the executable settle; cut short by a
// stop request of the same image name.
void SettleAfterLaunch(const std::wstring& imageName, DWORD ms);
