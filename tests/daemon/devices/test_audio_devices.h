#pragma once
// Test-only audio capture devices, registered through the filter mapper in
// the audio capture category, where the device listing finds them beside
// Wine's own. Callers hold the qv_registry lock and have COM initialised.
#include <windows.h>

#include <string>
#include <vector>

#include "common/non_copyable.h"

enum class TestAudioKind {
    Runs,            // connects to a renderer and runs
    RefusesToStart,  // connects, but refuses to pause or run
    Unrenderable,    // its stream cannot be rendered
    CannotBind,      // its filter cannot be created
};

struct TestAudioDevice {
    TestAudioKind kind;
    std::wstring friendlyName;
};

// Registered devices are unregistered again on destruction.
class TestAudioDevices : private CNonCopyable {
public:
    TestAudioDevices();
    ~TestAudioDevices();

    // Replaces the registered devices by these; the system device
    // enumerator yields them in this order, before Wine's own devices.
    // S_OK, or the first failure (nothing stays registered then).
    HRESULT Register(const std::vector<TestAudioDevice>& devices);
    void Unregister();

private:
    std::vector<std::wstring> m_instances;
};

// test_audio_capture_filters.dll beside the running program.
std::wstring TestAudioFilterDll();
// Removes test devices and server keys that an interrupted run left behind.
void RemoveTestAudioLeftovers();
