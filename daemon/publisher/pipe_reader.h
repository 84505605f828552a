#pragma once
#include <windows.h>

#include <memory>

// What becomes of the output of one launch.
class COutputWatcher {
public:
    virtual ~COutputWatcher() = default;
    // A piece as the pipe delivered it, up to its first zero byte.
    virtual void Chunk(const char* bytes, size_t count) = 0;
    // The pipe broke: every writer has gone.
    virtual void Ended() = 0;
};

struct PipeReading {
    HANDLE readEnd = nullptr;
    std::unique_ptr<COutputWatcher> watcher;
};

// Drains a child's output pipe and hands each piece to the watcher. The
// argument is a PipeReading made with new; the reader owns it and its read
// end from then on and closes them once the pipe breaks. Returns 0.
DWORD WINAPI ThreadRecvPipeData(LPVOID reading);
