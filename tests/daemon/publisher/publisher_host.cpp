// Test program that stands where the daemon stands: the tests copy it with
// the stand-ins into a directory of its own, run it as a debuggee and give
// it steps on its command line, one argument each, carried out in order.
//
//   video=T audio=T url=T level=N       values of PublishState
//   url-pad=N                           appends N letters p to the stored URL
//   bridge-wanted=0|1 publishing-wanted=0|1
//   run-publish                         RunPublish(stored video, audio, url)
//   run-camera                          runCamera(stored video, audio)
//   stop=IMAGE                          StopExecutable
//   command=LINE                        ParseCommand of LINE, then DispatchCommand if accepted
//   timed-command=LINE                  the same, then prints "command-ms N", how long it took
//   dispatch=WORD|VIDEO|AUDIO|URL       DispatchCommand of a RecvCmd holding these values
//   announced=N                         lastAnnouncedLevel
//   resign                              ResignStreamUrl
//   supervise / end-supervise           ThreadSupervisor on a thread, ended by its stop event
//   wait=EVENT                          waits for a named event of the test
//   sleep=MS
//   find=IMAGE kill=IMAGE               prints "find|kill IMAGE 0|1"
//   launch=APP|LINE                     LaunchProcess, prints "launch 0|1"
//   launch-pipe=EXE|ARGS                LaunchWithOutputPipe (see LaunchOnceMore), prints
//                                       "launch-pipe 0|1" and after a 0 "launch-pipe-error N"
//   readers                             prints "readers N", the running output readers
//   restart-encoder=N                   5 + N encoder starts and kills; prints the launches and
//                                       the handle counts after the first 5 and at the end
//   own-directory state                 print OwnDirectory / the flags and texts
//   stray-handles                       makes an inheritable socket and pipe, as any
//                                       other part of the process might
//   accept-burst=N                      on a thread: N loopback connections made and
//                                       accepted one after the other, all kept open
//   exit                                RunExitSequence, as the tray menu's command
//   hold-encoder-lock release-encoder-lock   the encoder's launch lock, on the main thread
//   async=STEP / join                   STEP on a thread of its own / waits for all of them
//   launches-closed                     waits (up to 10 s) until launches are closed;
//                                       prints "launches-closed 0|1"
//   mark=TEXT                           prints "mark TEXT"
// Printed lines are UTF-8 and end with "\n".
#include "common/unique_handle.h"
#include "daemon/command/dispatch_command.h"
#include "daemon/command/listening_socket.h"
#include "daemon/command/parse_command.h"
#include "daemon/publisher/camera_launch.h"
#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_gate.h"
#include "daemon/publisher/launch_lock.h"
#include "daemon/publisher/own_directory.h"
#include "daemon/publisher/pipe_manager.h"
#include "daemon/publisher/process_launch.h"
#include "daemon/publisher/process_list.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/publisher/stream_signing.h"
#include "daemon/publisher/supervisor.h"
#include "daemon/shell/exit_sequence.h"
#include "daemon/text/text_conversion.h"
#include "tests/daemon/publisher/publisher_test_launches.h"
#include "tests/support/child_process.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

HANDLE g_output = INVALID_HANDLE_VALUE;

// Children must not get hold of the test's output pipe: those started with
// inherited handles would get it as an inheritable handle, and under Wine a
// child started without STARTF_USESTDHANDLES receives the parent's standard
// handles at the Unix level even when it inherits nothing. A stand-in left
// running would then keep the pipe open after the host has ended, and the
// test would wait for an end of output that never comes.
void KeepOutputFromChildren() {
    HANDLE self = ::GetCurrentProcess();
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE)
        ::DuplicateHandle(self, out, self, &g_output, 0, FALSE, DUPLICATE_SAME_ACCESS);
    const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (DWORD which : standard) {
        HANDLE handle = ::GetStdHandle(which);
        if (handle && handle != INVALID_HANDLE_VALUE) ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
        HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        ::SetStdHandle(which, nul);
    }
}

void Say(const std::string& line) {
    std::string bytes = line + "\n";
    DWORD written = 0;
    ::WriteFile(g_output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void SayFlag(const char* name, bool value) { Say(std::string(name) + (value ? " 1" : " 0")); }

// GetProcessHandleCount, or where it reports nothing (Wine answers 0) the
// handles found by probing the handle table, which Wine fills from 4 up.
DWORD HandleCount(const char** source = nullptr) {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) {
        if (source) *source = "GetProcessHandleCount";
        return count;
    }
    if (source) *source = "probe";
    DWORD probed = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++probed;
    }
    return probed;
}

bool WaitUntil(bool (*done)(), DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
        if (done()) return true;
        ::Sleep(10);
    }
    return done();
}

// Launches as the daemon does, once more after a start that Wine lost.
bool LaunchOnceMore(const std::wstring& executable, const std::wstring& arguments) {
    return StartOnceMoreAfterWineLoss([&] { return LaunchWithOutputPipe(executable, arguments); });
}

bool Closed() { return LaunchesClosed(); }
bool NoReaders() { return ThePipeManager().RunningReaders() == 0; }
bool EncoderRunning() { return FindProcessByName(kEncoderImageName); }
bool EncoderGone() { return !FindProcessByName(kEncoderImageName); }

// Starts and kills the encoder `count` times as a restart does, and prints
// the handle count once the first restarts have settled and at the end.
void RestartEncoder(int count) {
    const int warmUp = 5;
    std::wstring executable = OwnExecutablePath(kEncoderImageName);
    DWORD settled = 0;
    int launched = 0;
    const char* source = "";
    for (int i = 0; i < warmUp + count; ++i) {
        if (i == warmUp) {
            WaitUntil(NoReaders, 10000);
            settled = HandleCount(&source);
        }
        if (LaunchOnceMore(executable, L" -f dshow")) ++launched;
        WaitUntil(EncoderRunning, 10000);
        KillProcessesByName(kEncoderImageName);
        WaitUntil(EncoderGone, 10000);
    }
    WaitUntil(NoReaders, 10000);
    Say("launched " + std::to_string(launched));
    Say("handle-count " + std::string(source));
    Say("handles-settled " + std::to_string(settled));
    Say("handles-end " + std::to_string(HandleCount()));
    Say("readers " + std::to_string(ThePipeManager().RunningReaders()));
}

// "a|b" into a and b.
void SplitPair(const std::wstring& value, std::wstring& first, std::wstring& second) {
    size_t bar = value.find(L'|');
    first = value.substr(0, bar);
    second = bar == std::wstring::npos ? std::wstring() : value.substr(bar + 1);
}

void Dispatch(const std::wstring& line) {
    char buffer[kReceiveBufferSize] = {};
    std::string message = WideToNarrow(line) + std::string("\r\n\0", 3);
    if (message.size() > sizeof(buffer)) message.resize(sizeof(buffer));
    memcpy(buffer, message.data(), message.size());
    int held = static_cast<int>(message.size());
    RecvCmd cmd;
    bool accepted = ParseCommand(buffer, held, cmd);
    SayFlag("accepted", accepted);
    if (accepted) DispatchCommand(cmd);
}

// Sockets and pipes a launch must not hand on; kept open until the host ends.
std::vector<UniqueSocket> g_sockets;
std::vector<UniqueHandle> g_pipes;

void StartWinsock() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
}

void MakeStrayHandles() {
    StartWinsock();
    g_sockets.emplace_back(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (::CreatePipe(&r, &w, &inheritable, 0)) {
        g_pipes.emplace_back(r);
        g_pipes.emplace_back(w);
    }
}

// The clients are made with socket(), inheritable as a careless part of the
// process would make them; the accepted sides come from the daemon's listener.
std::thread StartAcceptBurst(int count) {
    StartWinsock();
    return std::thread([count] {
        // Deliberately leaked: the host may end while this thread still runs.
        auto& held = *new std::vector<UniqueSocket>();
        UniqueSocket listening;
        if (OpenListeningSocket(0, 5, listening) != ListenStep::Done) return;
        sockaddr_in address = {};
        int size = sizeof(address);
        ::getsockname(listening.get(), reinterpret_cast<sockaddr*>(&address), &size);
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        for (int i = 0; i < count; ++i) {
            UniqueSocket client(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            if (::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) continue;
            held.emplace_back(::accept(listening.get(), nullptr, nullptr));
            held.push_back(std::move(client));
        }
        held.push_back(std::move(listening));
    });
}

struct Supervisor {
    UniqueHandle m_stop;
    UniqueHandle m_thread;
    std::vector<std::thread> m_async;
};

void Step(const std::wstring& step, Supervisor& supervisor) {
    PublishState& state = ThePublishState();
    size_t equals = step.find(L'=');
    std::wstring verb = step.substr(0, equals);
    std::wstring value = equals == std::wstring::npos ? std::wstring() : step.substr(equals + 1);
    std::wstring first, second;
    if (verb == L"video") {
        state.SetVideoDevice(value);
    } else if (verb == L"audio") {
        state.SetAudioDevice(value);
    } else if (verb == L"url") {
        state.SetStreamUrl(value);
    } else if (verb == L"url-pad") {
        // Longer than a command line of the host itself could carry.
        state.SetStreamUrl(state.GetStreamUrl() + std::wstring(static_cast<size_t>(_wtoi(value.c_str())), L'p'));
    } else if (verb == L"level") {
        state.SetPushLevel(_wtoi(value.c_str()));
    } else if (verb == L"bridge-wanted") {
        state.bridgeWanted = value == L"1";
    } else if (verb == L"publishing-wanted") {
        state.publishingWanted = value == L"1";
    } else if (verb == L"run-publish") {
        RunPublish(state.GetVideoDevice(), state.GetAudioDevice(), state.GetStreamUrl());
    } else if (verb == L"run-camera") {
        runCamera(state.GetVideoDevice(), state.GetAudioDevice());
    } else if (verb == L"stop") {
        StopExecutable(value);
    } else if (verb == L"command") {
        Dispatch(value);
    } else if (verb == L"timed-command") {
        const ULONGLONG start = ::GetTickCount64();
        Dispatch(value);
        Say("command-ms " + std::to_string(::GetTickCount64() - start));
    } else if (verb == L"dispatch") {
        // A command as if the parse had accepted it, values given directly.
        RecvCmd cmd;
        std::wstring rest;
        SplitPair(value, cmd.m_strCmd, rest);
        SplitPair(rest, cmd.m_videoDevice, rest);
        SplitPair(rest, cmd.m_audioDevice, cmd.m_streamUrl);
        DispatchCommand(cmd);
    } else if (verb == L"announced") {
        state.lastAnnouncedLevel = _wtoi(value.c_str());
    } else if (verb == L"resign") {
        ResignStreamUrl();
    } else if (verb == L"supervise") {
        supervisor.m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        supervisor.m_thread.reset(::CreateThread(nullptr, 0, ThreadSupervisor, supervisor.m_stop.get(), 0, nullptr));
    } else if (verb == L"end-supervise") {
        ::SetEvent(supervisor.m_stop.get());
        SayFlag("supervisor-ended", ::WaitForSingleObject(supervisor.m_thread.get(), 30000) == WAIT_OBJECT_0);
    } else if (verb == L"wait") {
        UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, value.c_str()));
        SayFlag(("waited " + ToUtf8(value)).c_str(), ::WaitForSingleObject(event.get(), 120000) == WAIT_OBJECT_0);
    } else if (verb == L"sleep") {
        ::Sleep(static_cast<DWORD>(_wtoi(value.c_str())));
    } else if (verb == L"find") {
        SayFlag(("find " + ToUtf8(value)).c_str(), FindProcessByName(value));
    } else if (verb == L"kill") {
        SayFlag(("kill " + ToUtf8(value)).c_str(), KillProcessesByName(value));
    } else if (verb == L"launch") {
        SplitPair(value, first, second);
        SayFlag("launch", LaunchProcess(first, second));
    } else if (verb == L"launch-pipe") {
        SplitPair(value, first, second);
        bool launched = LaunchOnceMore(first, second);
        DWORD error = ::GetLastError();
        SayFlag("launch-pipe", launched);
        if (!launched) Say("launch-pipe-error " + std::to_string(error));
    } else if (verb == L"readers") {
        Say("readers " + std::to_string(ThePipeManager().RunningReaders()));
    } else if (verb == L"restart-encoder") {
        RestartEncoder(_wtoi(value.c_str()));
    } else if (verb == L"own-directory") {
        Say("own-directory " + ToUtf8(OwnDirectory()));
    } else if (verb == L"state") {
        Say("video " + ToUtf8(state.GetVideoDevice()));
        Say("audio " + ToUtf8(state.GetAudioDevice()));
        Say("url " + ToUtf8(state.GetStreamUrl()));
        Say("level " + std::to_string(state.GetPushLevel()));
        SayFlag("bridgeWanted", state.bridgeWanted);
        SayFlag("publishingWanted", state.publishingWanted);
        Say("lastAnnouncedLevel " + std::to_string(state.lastAnnouncedLevel));
    } else if (verb == L"stray-handles") {
        MakeStrayHandles();
    } else if (verb == L"accept-burst") {
        StartAcceptBurst(_wtoi(value.c_str())).detach();
    } else if (verb == L"exit") {
        RunExitSequence();
    } else if (verb == L"hold-encoder-lock") {
        LaunchLock(kEncoderImageName).lock();
    } else if (verb == L"release-encoder-lock") {
        LaunchLock(kEncoderImageName).unlock();
    } else if (verb == L"async") {
        supervisor.m_async.emplace_back([value, &supervisor] { Step(value, supervisor); });
    } else if (verb == L"join") {
        for (std::thread& thread : supervisor.m_async) thread.join();
        supervisor.m_async.clear();
    } else if (verb == L"launches-closed") {
        SayFlag("launches-closed", WaitUntil(Closed, 10000));
    } else if (verb == L"mark") {
        Say("mark " + ToUtf8(value));
    } else {
        Say("unknown step " + ToUtf8(step));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    KeepOutputFromChildren();
    ThePublishState().InitLock();
    Supervisor supervisor;
    for (int i = 1; i < argc; ++i) Step(argv[i], supervisor);
    Say("done");
    return 0;
}
