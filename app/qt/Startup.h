#pragma once

// The whole Qt program: the command line, start-up, the message loop,
// shutdown. Returns the exit code.
int RunHxt24(int Argc, char** Argv);
