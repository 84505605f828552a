// An encoder inherits its output pipe and its input, and nothing else of the
// daemon: not the sockets being accepted while it starts, not an inheritable
// handle some other part made, not the pipe of an earlier encoder. The
// stand-in encoder counts the pipes and sockets it holds and prints that.
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kReport[] = L"zrshow:  handles ";
const wchar_t kNothingInherited[] = L"zrshow:  handles pipes-or-sockets=0\n";

std::vector<std::wstring> Reports(DebuggeeProcess& host) {
    std::vector<std::wstring> reports;
    for (const std::wstring& text : host.DebugTexts())
        if (text.rfind(kReport, 0) == 0) reports.push_back(text);
    return reports;
}

TEST(InheritedHandles, EncodersStartedDuringABurstOfAcceptsHoldNoSocketOrPipeOfTheDaemon) {
    PublisherSandbox sandbox;
    ASSERT_TRUE(sandbox.Ready());
    sandbox.SetScript(kEncoder, "handles\n");
    const std::wstring launch = L"launch-pipe=" + sandbox.Dir() + kEncoder + L"| -f dshow";
    const std::wstring release = sandbox.NewEventName();
    const size_t launches = 6;
    std::vector<std::wstring> steps = {L"stray-handles", L"accept-burst=300"};
    for (size_t i = 0; i < launches; ++i) steps.push_back(launch);
    steps.push_back(L"wait=" + release);
    DebuggeeProcess* host = sandbox.StartHost(steps);
    ASSERT_NE(host, nullptr);

    std::vector<std::wstring> reports;
    for (DWORD waited = 0; waited < 30000 && reports.size() < launches; waited += 50) {
        ::Sleep(50);
        reports = Reports(*host);
    }
    ASSERT_EQ(reports.size(), launches) << "not every encoder reported its handles";
    for (const std::wstring& report : reports) EXPECT_EQ(report, kNothingInherited);

    TerminateAllNamed(kEncoder);
    sandbox.Signal(release);
    EXPECT_TRUE(host->WaitForExit(30000));
}

}  // namespace
