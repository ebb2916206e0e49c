#pragma once

// The program's command line: serving (the default) and the administration commands.
// Returns the process exit code. `--help` lists every command and option.
int executaZeltoServer(int argc, char** argv);
