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

}  // namespace

DWORD WINAPI ThreadRecvPipeData(LPVOID readEnd) {
    // Closing the handle here, when the pipe breaks, is what keeps the
    // daemon's handle count flat over many encoder restarts.
    UniqueHandle pipe(static_cast<HANDLE>(readEnd));
    char buffer[kChunkSize];
    for (;;) {
        memset(buffer, 0, sizeof(buffer));
        DWORD waiting = 0;
        // Peeking first means the read below never blocks for more output.
        if (!::PeekNamedPipe(pipe.get(), buffer, kChunkSize, nullptr, &waiting, nullptr)) break;
        if (waiting == 0) {
            ::Sleep(kPauseMs);
            continue;
        }
        if (waiting > kChunkSize) waiting = kChunkSize;
        DWORD got = 0;
        if (!::ReadFile(pipe.get(), buffer, waiting, &got, nullptr)) break;
        size_t length = strnlen(buffer, got);
        DebugText(kChunkPrefix + std::string(buffer, length));
        ::Sleep(kPauseMs);
    }
    DebugText(WideToNarrow(kReaderEndText));
    return 0;
}
