#pragma once

// Windows Sockets 2.2, the publishing state's lock, and the listener thread,
// which starts the web endpoint once the command port listens.
void StartMainService();
