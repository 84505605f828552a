#pragma once
// What the daemon does before it ends: stops the encoder and then the camera
// bridge (also those a first copy started), and releases Windows Sockets.
// From its start on, nothing is launched any more.
void RunExitSequence();
