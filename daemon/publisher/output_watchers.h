#pragma once
// What the daemon makes of its children's console output.
#include "daemon/publisher/pipe_reader.h"

#include <memory>

// The encoder's: every piece mirrored to the debugger output as "zrshow:  "
// and the piece; progress and error lines to the status board for this
// launch's generation (0: to no generation).
std::unique_ptr<COutputWatcher> EncoderOutputWatcher(unsigned generation);

// The bridge's: its "delivering" line and its failure lines to the status
// board (the bridge mirrors its own lines to the debugger output).
std::unique_ptr<COutputWatcher> BridgeOutputWatcher(unsigned generation);
