#include "daemon/publisher/launch_gate.h"

#include <atomic>

namespace {

std::atomic<bool> g_closed{false};

}  // namespace

void CloseLaunches() { g_closed = true; }

bool LaunchesClosed() { return g_closed; }
