#pragma once
#include "daemon/command/recv_cmd.h"

// Carries out an accepted command: start, stop or preview.
void DispatchCommand(const RecvCmd& cmd);
