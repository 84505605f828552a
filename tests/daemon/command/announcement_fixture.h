#pragma once
// A client of port 19723 connected and greeted, for the tests of the
// push-level announcement.
#include "tests/daemon/command/service_sandbox.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/daemon/command/wire_messages.h"

#include <gtest/gtest.h>

#include <string>

const uint16_t kCommandPort = 19723;

inline std::wstring StartLine(const std::wstring& pushLevel) {
    return L"start videoDevice=\"cam\" audioDevice=\"mic\" streamUrl=\"rtmp://127.0.0.1/live/a\" pushLevel=\"" +
           pushLevel + L"\"";
}

class PushLevelAnnouncementTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sandbox.Ready());
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.Host().Output();
        ASSERT_TRUE(m_client.Connect(kCommandPort));
        std::string greeting;
        ASSERT_TRUE(m_client.ReadMessage(greeting, 10000));
        m_greetedAt = NowMs();
        ASSERT_EQ(Printable(greeting), Printable(kNoDeviceGreeting));
    }

    ServiceSandbox m_sandbox;
    WireClient m_client;
    uint64_t m_greetedAt = 0;
};
