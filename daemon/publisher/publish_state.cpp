#include "daemon/publisher/publish_state.h"

#include "common/push_levels.h"
#include "common/unique_handle.h"

#include <utility>

namespace {

BOOL CALLBACK InitLockOnce(PINIT_ONCE, PVOID lock, PVOID*) {
    ::InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(lock));
    return TRUE;
}

}  // namespace

PublishState::PublishState() = default;

void PublishState::InitLock() { Lock(); }

CRITICAL_SECTION& PublishState::Lock() {
    ::InitOnceExecuteOnce(&m_lockOnce, InitLockOnce, &m_lock, nullptr);
    return m_lock;
}

template <typename T>
void PublishState::Store(T& field, T value) {
    CriticalSectionLock guard(Lock());
    std::swap(field, value);
}

template <typename T>
T PublishState::Load(const T& field) {
    CriticalSectionLock guard(Lock());
    return field;
}

void PublishState::SetVideoDevice(const std::wstring& value) { Store(m_videoDevice, value); }
std::wstring PublishState::GetVideoDevice() { return Load(m_videoDevice); }
void PublishState::SetAudioDevice(const std::wstring& value) { Store(m_audioDevice, value); }
std::wstring PublishState::GetAudioDevice() { return Load(m_audioDevice); }
void PublishState::SetStreamUrl(const std::wstring& value) { Store(m_streamUrl, value); }
std::wstring PublishState::GetStreamUrl() { return Load(m_streamUrl); }
void PublishState::SetPushLevel(int32_t value) { Store(m_pushLevel, value); }
int32_t PublishState::GetPushLevel() { return Load(m_pushLevel); }

void PublishState::ChangeStreamUrl(const std::function<std::wstring(const std::wstring&)>& change) {
    CriticalSectionLock guard(Lock());
    m_streamUrl = change(m_streamUrl);
}

PublishState& ThePublishState() {
    // Deliberately leaked: detached threads may use it during process exit.
    static PublishState* state = new PublishState();
    return *state;
}

int32_t EffectivePushLevel(int32_t pushLevel) {
    return (pushLevel >= 0 && pushLevel < kPushLevelCount) ? pushLevel : kFallbackPushLevel;
}
