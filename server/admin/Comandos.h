#pragma once

// The program's command line: serving (the default) and the administration commands, one
// row each in a table that the dispatch and --help read.

#include "server/admin/LinhaDeComando.h"

#include <span>

// Returns the process exit code. `--help` lists every command and option; `COMANDO --help`
// one command and the options it reads.
int executaZeltoServer(int argc, char** argv);

// A new command is one row and one function that runs it.
struct ComandoDoServidor {
    const char* nome;
    const char* ajuda;    // its paragraph in --help
    const char* opcoes;   // the options it reads, by name, separated by spaces
    Executa* executa;
};

std::span<const ComandoDoServidor> comandosDoServidor();
