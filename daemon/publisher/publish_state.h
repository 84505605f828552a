#pragma once
// The daemon's one record of what the client last asked for.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "common/non_copyable.h"

class PublishState : private CNonCopyable {
public:
    PublishState();
    ~PublishState() = default;

    // Called by the service start. Accessors used before it (or without it)
    // initialise the lock themselves, so early use cannot crash.
    void InitLock();

    void SetVideoDevice(const std::wstring& value);
    std::wstring GetVideoDevice();
    void SetAudioDevice(const std::wstring& value);
    std::wstring GetAudioDevice();
    void SetStreamUrl(const std::wstring& value);
    std::wstring GetStreamUrl();
    // Stores change(stored URL) in one step under the lock, so that a URL a
    // "start" stores meanwhile is never overwritten by the rewrite of the
    // one before it. `change` must not call back into PublishState.
    void ChangeStreamUrl(const std::function<std::wstring(const std::wstring&)>& change);
    void SetPushLevel(int32_t value);
    int32_t GetPushLevel();

    // Whole-value flags read and written outside the lock.
    std::atomic<bool> bridgeWanted{false};
    std::atomic<bool> publishingWanted{false};
    std::atomic<int32_t> lastAnnouncedLevel{-1};

private:
    CRITICAL_SECTION& Lock();
    // The value arrives as a copy made before the lock is taken, so that no
    // allocation happens under it.
    template <typename T>
    void Store(T& field, T value);
    template <typename T>
    T Load(const T& field);

    INIT_ONCE m_lockOnce = INIT_ONCE_STATIC_INIT;
    // Never deleted: threads may still use it while the process exits.
    CRITICAL_SECTION m_lock;
    std::wstring m_videoDevice;
    std::wstring m_audioDevice;
    std::wstring m_streamUrl;
    int32_t m_pushLevel = 0;
};

// The process's instance.
PublishState& ThePublishState();

// Levels 0 to 5 are the presets; any other value behaves as 3, as it did
// when there were four: the Flash-era pages send 0..3, and a stray value from
// them still gets the cheapest stream rather than a sudden HD one.
int32_t EffectivePushLevel(int32_t pushLevel);
