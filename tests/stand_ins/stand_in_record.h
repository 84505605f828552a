#pragma once
// Test-only stand-ins for the outside executables QvShow.exe (encoder) and
// QvGraph.exe (camera bridge). Tests copy stand_in_encoder.exe or
// stand_in_bridge.exe (one program, two names) under the image name they
// need into a directory of their own, beside the program under test.
//
// Contract, kept stable for every test that uses the stand-ins:
//
// Record: on start, before anything else, a stand-in appends one entry to
// "<its own full path>.record" (for example C:\dir\QvShow.exe.record):
//   uint32  process id
//   uint32  n, then n UTF-16 code units: its module path (GetModuleFileNameW)
//   uint32  n, then n UTF-16 code units: its command line (GetCommandLineW),
//           exactly as the system passed it, nothing added or removed
// all little-endian, entries back to back in the order of the starts. The
// file is opened without sharing, so concurrent starts append one at a
// time; ReadStandInStarts waits while a writer holds it.
//
// Script: then it follows "<its own full path>.script" if that exists (read
// once at start, UTF-8 lines, unknown lines ignored):
//   stdout <hex bytes>            one WriteFile of these bytes to standard output
//   stderr <hex bytes>            the same to standard error
//   fill stdout|stderr <n> <hex>  one WriteFile of n copies of one byte
//   stdin                         reads standard input once, then writes
//                                 "stdin ok=0|1 read=N\n" to standard output
//   handles                       writes "handles pipes-or-sockets=N\n" to
//                                 standard output: the pipes and sockets it
//                                 holds besides its standard output and error
//   sleep <ms>
//   exit <code>                   ends the process with that exit code
// Without an "exit" line it stays in the process list until it is killed.
#include <windows.h>

#include <string>
#include <vector>

struct StandInStart {
    DWORD m_processId = 0;
    std::wstring m_modulePath;
    std::wstring m_commandLine;
};

// Appends one entry; waits (up to 5 s) while another instance is appending.
bool AppendStandInStart(const std::wstring& recordPath, const StandInStart& start);

// Every entry in the file, in the order of the starts; none when absent.
std::vector<StandInStart> ReadStandInStarts(const std::wstring& recordPath);
