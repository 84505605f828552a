// The moment of the camera filter's last Run, which its pin paces samples
// against. The filter's own code is linked into this program, so the field
// can be read directly; the filter runs without a graph (its pin is not
// connected, so no samples flow).
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include "camera/filter/virtual_camera.h"

namespace {

class Filter {
public:
    Filter() {
        HRESULT hr = S_OK;
        m_object = CVirtualCamera::CreateInstance(nullptr, &hr);
        m_result = hr;
        if (m_object) m_object->NonDelegatingAddRef();
    }
    ~Filter() {
        if (m_object) m_object->NonDelegatingRelease();
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    CVirtualCamera* get() const { return static_cast<CVirtualCamera*>(m_object); }
    HRESULT result() const { return m_result; }

private:
    CUnknown* m_object = nullptr;
    HRESULT m_result = E_FAIL;
};

// timeGetTime() readings a, b, c are in order when b - a and c - b are small.
bool Between(DWORD earlier, DWORD value, DWORD later) { return value - earlier <= later - earlier; }

TEST(VirtualCameraRun, RunStartIsTheCreationTimeUntilTheFirstRun) {
    DWORD before = ::timeGetTime();
    Filter filter;
    DWORD after = ::timeGetTime();
    ASSERT_NE(filter.get(), nullptr);
    ASSERT_EQ(filter.result(), S_OK);
    DWORD start = filter.get()->runStartMs.load();
    EXPECT_TRUE(Between(before, start, after)) << before << " <= " << start << " <= " << after;

    ::Sleep(30);
    EXPECT_EQ(filter.get()->Pause(), S_OK);
    EXPECT_EQ(filter.get()->runStartMs.load(), start) << "pausing is no run";
    EXPECT_EQ(filter.get()->Stop(), S_OK);
    EXPECT_EQ(filter.get()->runStartMs.load(), start);
}

TEST(VirtualCameraRun, EveryRunRecordsItsTimeAlsoWhenAlreadyRunning) {
    Filter filter;
    ASSERT_NE(filter.get(), nullptr);
    ::Sleep(30);

    DWORD before = ::timeGetTime();
    EXPECT_EQ(filter.get()->Run(0), S_OK);
    DWORD after = ::timeGetTime();
    DWORD first = filter.get()->runStartMs.load();
    EXPECT_TRUE(Between(before, first, after)) << before << " <= " << first << " <= " << after;

    ::Sleep(50);
    before = ::timeGetTime();
    EXPECT_EQ(filter.get()->Run(10000), S_OK);
    after = ::timeGetTime();
    DWORD second = filter.get()->runStartMs.load();
    EXPECT_TRUE(Between(before, second, after)) << before << " <= " << second << " <= " << after;
    EXPECT_GE(second - first, 40u) << "the later run's time is kept";

    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(filter.get()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(filter.get()->Stop(), S_OK);
    EXPECT_EQ(filter.get()->runStartMs.load(), second);
}

TEST(VirtualCameraRun, PinCountAndPinIgnoreTheIndex) {
    Filter filter;
    ASSERT_NE(filter.get(), nullptr);
    EXPECT_EQ(filter.get()->GetPinCount(), 1);
    CBasePin* pin = filter.get()->GetPin(0);
    ASSERT_NE(pin, nullptr);
    for (int index : {-1, 1, 7, 1000}) EXPECT_EQ(filter.get()->GetPin(index), pin) << index;
}

}  // namespace
