#pragma once
// Ending the processes of one image name from a test: what an earlier test
// or a failed assertion left running must not count in the next test.
#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "daemon/publisher/process_list.h"

// Terminates every process of exactly this image name and waits (a while)
// until each is gone.
inline void TerminateProcessesNamed(const std::wstring& imageName) {
    for (unsigned long id : ProcessIdsByName(imageName)) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) continue;
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 10000);
    }
}
