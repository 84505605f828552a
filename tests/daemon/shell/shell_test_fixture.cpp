#include "tests/daemon/shell/shell_test_fixture.h"

#include "tests/daemon/shell/loopback_client.h"
#include "tests/daemon/terminate_processes.h"

const UINT kTrayIconId = 134;
const UINT kTrayCallbackMessage = WM_USER + 100;
const UINT kShowWindowCommand = 1125;
const wchar_t kFirstInstanceText[] = L"ZrDaemon_第一个实例启动";
const wchar_t kSecondInstanceText[] = L"ZrDaemon_已有实例启动";
const wchar_t kMutexFailedText[] = L"ZrDaemon_创建唯一互斥量失败";
const wchar_t kEncoderStoppedText[] = L"QvShow.exe stop sucess";
const wchar_t kBridgeStoppedText[] = L"QvGraph.exe stop sucess";
const unsigned short kPolicyPort = 19722;
const unsigned short kCommandPort = 19723;
const char kVersionTail[] = "$1.0.0";

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) { return IndexOf(texts, text) >= 0; }

int IndexOf(const std::vector<std::wstring>& texts, const std::wstring& text) {
    for (size_t i = 0; i < texts.size(); ++i)
        if (texts[i] == text) return static_cast<int>(i);
    return -1;
}

std::string ToUtf8Texts(const std::vector<std::wstring>& texts) {
    std::string all;
    for (const auto& t : texts) all += "[" + ToUtf8(t) + "] ";
    return all;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

std::string CommandPortGreeting() {
    UniqueSocket socket = ConnectLoopback(kCommandPort);
    if (!socket) return "<refused>";
    std::string greeting;
    if (!ReceiveMessage(socket.get(), &greeting)) return "<no greeting>";
    return greeting;
}

std::string PolicyReply() {
    UniqueSocket socket = ConnectLoopback(kPolicyPort);
    if (!socket) return "<refused>";
    std::string reply;
    if (!SendBytes(socket.get(), std::string("<policy-file-request/>", 23)) || !ReceiveMessage(socket.get(), &reply))
        return "<no reply>";
    return reply;
}

void ShellDaemonTest::SetUp() {
    ASSERT_TRUE(m_directory.Ready()) << "preparing " << ToUtf8(m_directory.Path())
                                     << " with QvPushServer.exe and the stand-ins failed";
    TerminateProcessesNamed(L"QvShow.exe");
    TerminateProcessesNamed(L"QvGraph.exe");
}

void ShellDaemonTest::TearDown() {
    TerminateProcessesNamed(L"QvShow.exe");
    TerminateProcessesNamed(L"QvGraph.exe");
}

UniqueHandle ShellDaemonTest::StartExecutable(const wchar_t* imageName) {
    std::wstring line = QuoteArgument(m_directory.Path() + imageName);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          m_directory.Path().c_str(), &si, &pi))
        return UniqueHandle();
    ::CloseHandle(pi.hThread);
    return UniqueHandle(pi.hProcess);
}
