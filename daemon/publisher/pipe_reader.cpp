#include "daemon/publisher/pipe_reader.h"

#include "common/unique_handle.h"

#include <cstring>

namespace {

const DWORD kChunkSize = 4096;
const DWORD kPauseMs = 10;

// Returns when the pipe is broken.
void DrainUntilBroken(HANDLE pipe, COutputWatcher& watcher) {
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
        watcher.Chunk(buffer, strnlen(buffer, got));
        ::Sleep(kPauseMs);
    }
}

}  // namespace

DWORD WINAPI ThreadRecvPipeData(LPVOID parameter) {
    std::unique_ptr<PipeReading> reading(static_cast<PipeReading*>(parameter));
    // Closing the handle here, when the pipe breaks, is what keeps the
    // daemon's handle count flat over many restarts.
    UniqueHandle pipe(reading->readEnd);
    // Nothing may leave a thread entry. A chunk that could not be handled
    // (a failed allocation) is lost, but the draining goes on: a child
    // whose pipe fills up stops in its next write.
    for (;;) {
        try {
            DrainUntilBroken(pipe.get(), *reading->watcher);
            break;
        } catch (...) {
            ::Sleep(kPauseMs);
        }
    }
    try {
        reading->watcher->Ended();
    } catch (...) {
    }
    return 0;
}
