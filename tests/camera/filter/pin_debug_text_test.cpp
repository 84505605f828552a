// The pin's debugger texts, read as a debugger reads them from a capture
// client connecting the camera at 640 x 480 and then at 320 x 240.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/camera/filter/camera_graph.h"
#include "tests/support/child_process.h"

namespace {

TEST(PinDebugText, ConnectionsWriteTheCheckedAndTheAgreedTypes) {
    DebuggeeProcess client;
    ASSERT_TRUE(client.Start(QuoteArgument(TestBinDir() + L"test_camera_connect.exe")));
    DWORD exitCode = 1;
    ASSERT_TRUE(client.WaitForExit(30000, &exitCode));
    EXPECT_EQ(0u, exitCode) << client.Output();
    EXPECT_NE(std::string::npos, client.Output().find("connected 640x480")) << client.Output();
    EXPECT_NE(std::string::npos, client.Output().find("connected 320x240")) << client.Output();

    const std::vector<std::wstring> texts = client.DebugTexts();
    const std::wstring full = L"SetMediaType bmiHeader.biWidth = 640,bmiHeader.biHeight = 480";
    const std::wstring half = L"SetMediaType bmiHeader.biWidth = 320,bmiHeader.biHeight = 240";
    auto fullAt = std::find(texts.begin(), texts.end(), full);
    auto halfAt = std::find(texts.begin(), texts.end(), half);
    ASSERT_NE(texts.end(), fullAt) << "the 640 x 480 connection";
    ASSERT_NE(texts.end(), halfAt) << "the 320 x 240 reconnection";
    EXPECT_LT(fullAt, halfAt);
    // Every type tried is checked first, and says so.
    EXPECT_NE(fullAt, std::find(texts.begin(), fullAt, std::wstring(L"CheckMediaType")));
    EXPECT_NE(halfAt, std::find(fullAt, halfAt, std::wstring(L"CheckMediaType")));
    const auto checks = std::count(texts.begin(), texts.end(), std::wstring(L"CheckMediaType"));
    EXPECT_GE(checks, 2);
}

}  // namespace
