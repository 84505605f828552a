#pragma once
// Once the daemon's exit has begun, no outside executable is started again.
// A session's "start" or a supervisor restart may be waiting on the launch
// lock while the exit stops the encoder; let through after the stop, it
// would leave an encoder publishing camera and microphone with no icon left
// to stop it.
void CloseLaunches();
bool LaunchesClosed();
