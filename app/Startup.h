#pragma once

// The whole program: start-up, the message loop, shutdown. Returns the exit
// code.
int RunHxt24(int Argc, char** Argv);
