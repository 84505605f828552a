#pragma once
// What the shell's test programs share: the daemon's observable texts and
// numbers, the two ports seen from a client, and a fixture that gives every
// test a fresh daemon directory with no encoder or bridge running.
#include "tests/daemon/shell/daemon_under_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern const UINT kTrayIconId;
extern const UINT kTrayCallbackMessage;
extern const UINT kShowWindowCommand;
extern const wchar_t kFirstInstanceText[];
extern const wchar_t kSecondInstanceText[];
extern const wchar_t kMutexFailedText[];
extern const wchar_t kEncoderStoppedText[];
extern const wchar_t kBridgeStoppedText[];
extern const unsigned short kPolicyPort;
extern const unsigned short kCommandPort;
// How the greeting on the command port ends, whatever devices it lists.
extern const char kVersionTail[];

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text);
// Index of the first text equal to `text`, or -1.
int IndexOf(const std::vector<std::wstring>& texts, const std::wstring& text);
std::string ToUtf8Texts(const std::vector<std::wstring>& texts);
bool EndsWith(const std::string& text, const std::string& tail);
std::wstring WindowText(HWND window);

// The greeting on the command port, or "<refused>" / "<no greeting>".
std::string CommandPortGreeting();
// The policy port's answer to a policy request, or "<refused>" / "<no reply>".
std::string PolicyReply();

class ShellDaemonTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a stand-in under its real image name from the daemon's directory.
    UniqueHandle StartExecutable(const wchar_t* imageName);

    DaemonDirectory m_directory;
};
