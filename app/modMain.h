#pragma once

// The program's entry procedure: reads the configuration, opens the login window and runs
// the window event loop until a window ends the program.
int Main(int& argc, char** argv);
