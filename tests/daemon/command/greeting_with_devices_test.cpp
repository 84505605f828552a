// The greeting of port 19723 with test-only audio capture devices
// registered beside Wine's own: the working ones joined by "$", then "$"
// and the version, cut after 499 bytes.
#include "daemon/devices/shared_audio_device_listing.h"
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"
#include "tests/daemon/devices/test_audio_devices.h"

#include <objbase.h>

#include <gtest/gtest.h>

namespace {

const uint16_t kCommandPort = 19723;

class GreetingWithDevicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RemoveTestAudioLeftovers(); }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ASSERT_TRUE(m_sandbox.Ready());
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.Host().Output();
    }
    void TearDown() override {
        m_devices.Unregister();
        ::CoUninitialize();
    }

    std::string Greeting() {
        WireClient client;
        if (!client.Connect(kCommandPort)) return "<no connection>";
        std::string greeting;
        client.ReadMessage(greeting, 15000);
        return greeting;
    }

    // A greeting from a listing of its own: connections soon after a listing
    // share it.
    std::string FreshGreeting() {
        ::Sleep(kListingReuseMs + 100);
        return Greeting();
    }

    ServiceSandbox m_sandbox;
    TestAudioDevices m_devices;
};

TEST_F(GreetingWithDevicesTest, WorkingDevicesAreJoinedAndFollowedByTheVersion) {
    ASSERT_EQ(m_devices.Register({{TestAudioKind::Runs, L"麦克风 一"},
                                  {TestAudioKind::Unrenderable, L"麦克风 二"},
                                  {TestAudioKind::Runs, L"Line$In"}}),
              S_OK);
    // 麦克风 一 in code page 936; the "$" inside a name goes out as it is.
    const std::string expected = std::string("\xC2\xF3\xBF\xCB\xB7\xE7 \xD2\xBB$Line$In$1.0.0") + '\0';
    EXPECT_EQ(Printable(Greeting()), Printable(expected));
    EXPECT_TRUE(m_sandbox.Host().WaitForDebugText(L"麦克风 一$Line$In$1.0.0", 5000));
}

TEST_F(GreetingWithDevicesTest, GreetingIsCutAfterItsFourHundredNinetyNinthByte) {
    const struct {
        const char* what;
        size_t secondNameLength;
        std::string tail;  // what follows the first name and its "$"
    } cases[] = {
        {"fits exactly", 233, std::string(233, 'b') + "$1.0.0"},
        {"one byte over", 234, std::string(234, 'b') + "$1.0."},
        {"version cut off", 259, std::string(239, 'b')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(m_devices.Register({{TestAudioKind::Runs, std::wstring(259, L'a')},
                                      {TestAudioKind::Runs, std::wstring(c.secondNameLength, L'b')}}),
                  S_OK);
        const std::string expected = std::string(259, 'a') + "$" + c.tail + '\0';
        EXPECT_EQ(Printable(FreshGreeting()), Printable(expected));
    }
}

TEST_F(GreetingWithDevicesTest, ConnectionsShareARecentListingAndLaterOnesListAgain) {
    ASSERT_EQ(m_devices.Register({{TestAudioKind::Runs, L"Alpha"}}), S_OK);
    EXPECT_EQ(Printable(Greeting()), Printable(std::string("Alpha$1.0.0") + '\0'));
    const ULONGLONG listed = ::GetTickCount64();
    ASSERT_EQ(m_devices.Register({{TestAudioKind::Runs, L"Alpha"}, {TestAudioKind::Runs, L"Beta"}}), S_OK);
    const std::string soon = Greeting();
    // Only when the registration left the listing young enough to be reused.
    if (::GetTickCount64() - listed < kListingReuseMs / 2) {
        EXPECT_EQ(Printable(soon), Printable(std::string("Alpha$1.0.0") + '\0')) << "not the shared listing";
    }
    EXPECT_EQ(Printable(FreshGreeting()), Printable(std::string("Alpha$Beta$1.0.0") + '\0'));
    m_devices.Unregister();
    EXPECT_EQ(Printable(FreshGreeting()), Printable(kNoDeviceGreeting));
}

}  // namespace
