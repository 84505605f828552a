#pragma once
// The record of the output readers started by LaunchWatched.
#include "common/non_copyable.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <mutex>
#include <vector>

class PipeManager : private CNonCopyable {
public:
    PipeManager() = default;
    virtual ~PipeManager();

    // Records a started reader. Readers that have ended meanwhile are
    // forgotten here, so that finished readers hold no handles.
    void Append(UniqueHandle thread);

    // How many recorded readers are still running.
    size_t RunningReaders();

private:
    struct Record {
        UniqueHandle m_thread;
    };

    void ForgetFinished();

    // Launches from session threads and the supervisor may append at once.
    std::mutex m_mutex;
    std::vector<Record> m_records;
};

// The process's instance.
PipeManager& ThePipeManager();
