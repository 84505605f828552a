#include "daemon/publisher/pipe_reader.h"

#include "common/unique_handle.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <cstring>
#include <string>

namespace {

const DWORD kChunkSize = 4096;
const DWORD kPauseMs = 10;
const char kChunkPrefix[] = "zrshow:  ";
const wchar_t kReaderEndText[] = L"pipe 读出为0，ThreadRecvPipeData线程直接退出";

// Returns when the pipe is broken.
void DrainUntilBroken(HANDLE pipe) {
    char buffer[kChunkSize];
    for (;;) {
        memset(buffer, 0, sizeof(buffer));
        DWORD waiting = 0;
        // Peeking first means the read below never blocks for more output.
        if (!::PeekNamedPipe(pipe, buffer, kChunkSize, nullptr, &waiting, nullptr)) break;
        if (waiting == 0) {
            ::Sleep(kPauseMs);
            continue;
        }
        if (waiting > kChunkSize) waiting = kChunkSize;
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, waiting, &got, nullptr)) break;
        size_t length = strnlen(buffer, got);
        DebugText(kChunkPrefix + std::string(buffer, length));
        ::Sleep(kPauseMs);
    }
}

}  // namespace

DWORD WINAPI ThreadRecvPipeData(LPVOID readEnd) {
    // Closing the handle here, when the pipe breaks, is what keeps the
    // daemon's handle count flat over many encoder restarts.
    UniqueHandle pipe(static_cast<HANDLE>(readEnd));
    // Nothing may leave a thread entry. A chunk that could not be mirrored
    // (a failed allocation) is lost, but the draining goes on: an encoder
    // whose pipe fills up stops in its next write.
    for (;;) {
        try {
            DrainUntilBroken(pipe.get());
            break;
        } catch (...) {
            ::Sleep(kPauseMs);
        }
    }
    try {
        DebugText(WideToNarrow(kReaderEndText));
    } catch (...) {
    }
    return 0;
}
