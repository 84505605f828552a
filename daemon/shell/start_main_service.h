#pragma once

// Windows Sockets 2.2, the publishing state's lock, and the listener thread.
void StartMainService();
