#pragma once

// The program on a terminal, without a window (the command line carries
// --console): lists files as tasks and converts them. Returns the exit status.
int RunConsole(int argc, char **argv);

// True when the command line asks for the terminal front end.
bool WantsConsole(int argc, char **argv);
