#pragma once
// What the benchmarks of the command service share: the service's test host
// run as a process of its own, its footprint, and timing figures.
#include "common/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The command service's test host from the benchmark's own directory, its
// output thrown away.
class BenchmarkService {
public:
    ~BenchmarkService() { Stop(); }
    // True once a client on `port` is greeted.
    bool Start(uint16_t port);
    void Stop();
    // Committed bytes and working set in KiB, and the number of threads.
    std::string Footprint() const;

private:
    unsigned long ThreadCount() const;

    UniqueHandle m_nul;
    UniqueHandle m_process;
    DWORD m_processId = 0;
};

struct Figures {
    std::vector<double> ms;
    // min, median and max, or "no samples".
    void Print(const char* what);
};

LARGE_INTEGER Now();
double ElapsedMs(const LARGE_INTEGER& from);
