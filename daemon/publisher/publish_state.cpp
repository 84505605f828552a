#include "daemon/publisher/publish_state.h"

#include "common/unique_handle.h"

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

void PublishState::SetVideoDevice(const std::wstring& value) {
    std::wstring copy = value;
    CriticalSectionLock guard(Lock());
    m_videoDevice.swap(copy);
}

std::wstring PublishState::GetVideoDevice() {
    CriticalSectionLock guard(Lock());
    return m_videoDevice;
}

void PublishState::SetAudioDevice(const std::wstring& value) {
    std::wstring copy = value;
    CriticalSectionLock guard(Lock());
    m_audioDevice.swap(copy);
}

std::wstring PublishState::GetAudioDevice() {
    CriticalSectionLock guard(Lock());
    return m_audioDevice;
}

void PublishState::SetStreamUrl(const std::wstring& value) {
    std::wstring copy = value;
    CriticalSectionLock guard(Lock());
    m_streamUrl.swap(copy);
}

std::wstring PublishState::GetStreamUrl() {
    CriticalSectionLock guard(Lock());
    return m_streamUrl;
}

void PublishState::ChangeStreamUrl(const std::function<std::wstring(const std::wstring&)>& change) {
    CriticalSectionLock guard(Lock());
    m_streamUrl = change(m_streamUrl);
}

void PublishState::SetPushLevel(int32_t value) {
    CriticalSectionLock guard(Lock());
    m_pushLevel = value;
}

int32_t PublishState::GetPushLevel() {
    CriticalSectionLock guard(Lock());
    return m_pushLevel;
}

PublishState& ThePublishState() {
    // Deliberately leaked: detached threads may use it during process exit.
    static PublishState* state = new PublishState();
    return *state;
}

int32_t EffectivePushLevel(int32_t pushLevel) {
    return (pushLevel >= 0 && pushLevel <= 3) ? pushLevel : 3;
}
