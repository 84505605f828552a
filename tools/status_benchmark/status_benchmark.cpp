// Figures of the publisher's status, printed (not a test): how long after an
// RTMP server comes back the daemon reports "live" again (the server gone
// for 3 to 12 s, so that the back-off's pause varies), and the daemon's
// processor time while idle and while live (the Linux kernel's utime and
// stime of its Wine process: Wine's GetProcessTimes for another process
// reports only a part). Goal: the idle daemon under 1 % of one core.
#include "camera/filter/camera_identity.h"
#include "tests/e2e/publish_chain.h"
#include "tests/e2e/status_session.h"
#include "tests/support/child_process.h"
#include "tests/support/rtmp/linux_command.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const DWORD kCpuWindowMs = 20000;
const DWORD kAwayMs[] = {3000, 6000, 12000};

// Processor time in ms of the Wine process running the chain's daemon; -1 when unread.
double DaemonCpuMs(const std::wstring& daemonDir) {
    const std::string image = UnixPath(daemonDir + L"QvPushServer.exe");
    const LinuxCommandResult result = RunLinuxCommand(
        "tck=$(getconf CLK_TCK); t=0\nfor p in /proc/[0-9]*; do grep -qsF " + ShellQuote(image) +
            " $p/maps || continue\n  s=$(sed 's/.*) //' $p/stat | awk '{print $12 + $13}'); t=$((t + ${s:-0}))\n"
            "done\necho $((t * 1000 / tck))\n",
        60000);
    return result.finished && result.exitCode == 0 ? atof(result.output.c_str()) : -1;
}

void PrintCpu(const char* what, const std::wstring& daemonDir) {
    const double before = DaemonCpuMs(daemonDir);
    const DWORD started = ::GetTickCount();
    ::Sleep(kCpuWindowMs);
    const double after = DaemonCpuMs(daemonDir);
    const double window = (::GetTickCount() - started) / 100.0;
    if (before < 0 || after < 0)
        std::printf("  daemon %s: processor time not readable\n", what);
    else
        std::printf("  daemon %s: %.2f %% of one core over %.0f s\n", what, (after - before) / window, window / 10);
    std::fflush(stdout);
}

}  // namespace

int wmain() {
    PublishChain chain;
    const std::string failure = chain.Start();
    if (!failure.empty()) {
        std::printf("cannot run the chain: %s\n", failure.c_str());
        return 1;
    }
    StatusSession session;
    if (!session.Open()) {
        std::printf("no WebSocket session with the daemon\n");
        return 1;
    }
    std::printf("status benchmark\n");
    PrintCpu("idle", chain.DaemonDirectory());
    session.Send(ToUtf8(L"start videoDevice=\"" + std::wstring(kCameraFriendlyName) + L"\" audioDevice=\"" +
                        kDemoMicrophone + L"\" streamUrl=\"" + FromUtf8(chain.RoomUrl()) + L"\" pushLevel=\"0\""));
    if (!session.WaitForStatus("publish", {"live"}, 30000)) {
        std::printf("the publish did not go live:\n%s", LastSeen(session).c_str());
        return 1;
    }
    PrintCpu("live (level 0)", chain.DaemonDirectory());
    for (DWORD away : kAwayMs) {
        chain.Server().Pause();
        session.WaitForStatus("publish", {"retrying"}, 15000);
        ::Sleep(away);
        const DWORD back = ::GetTickCount();
        chain.Server().Resume();
        StatusMessage live;
        if (session.WaitForStatus("publish", {"live"}, 90000, &live))
            std::printf("  server away %lu s: live %lu ms after its return\n", away / 1000, live.tick - back);
        else
            std::printf("  server away %lu s: not live within 90 s of its return\n", away / 1000);
        std::fflush(stdout);
        ::Sleep(3000);
    }
    session.Send("stop");
    session.WaitForStatus("publish", {"idle"}, 10000);
    return 0;
}
