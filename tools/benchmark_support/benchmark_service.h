#pragma once
// What the benchmarks of the command service share: the service's test host
// run as a process of its own, its footprint, and timing figures.
#include "common/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
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
    // Processor time (user and kernel) the service has used so far.
    double ProcessorMs() const;

private:
    unsigned long ThreadCount() const;

    UniqueHandle m_nul;
    UniqueHandle m_process;
    DWORD m_processId = 0;
};

// For the benchmarks of the web endpoint: Winsock, then the service, whose
// command port and web port (19723 and 19724) must both be free. False, and
// said on standard error, when the service did not start.
bool StartWebService(BenchmarkService& service);

struct Figures {
    std::vector<double> ms;
    // min, median, 95th percentile and max, or "no samples".
    void Print(const char* what);
};

class WireClient;

// `count` clients opened one after another, each by `open`; `opened` counts
// those for which it answered true. All are kept, open or not, until the
// caller lets them go.
std::vector<std::unique_ptr<WireClient>> OpenClients(int count, const std::function<bool(WireClient&)>& open,
                                                     int* opened);

LARGE_INTEGER Now();
double ElapsedMs(const LARGE_INTEGER& from);
