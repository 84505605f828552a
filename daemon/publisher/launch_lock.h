#pragma once
// Launches and stops of one outside executable happen one at a time, so a
// restart already in flight cannot outlive a stop. Recursive, because the
// supervisor holds it across its check of the wanted flag and the launch.
// Never taken while the lock of PublishState is held.
#include <mutex>
#include <string>

// The lock of the encoder or of the bridge; any other name gets a lock of
// its own shared by all other names.
std::recursive_mutex& LaunchLock(const std::wstring& imageName);
