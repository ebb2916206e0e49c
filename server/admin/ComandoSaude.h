#pragma once

// The `saude` command: asks a running server, over its own protocol and without a login,
// whether it serves (protocol/Saude.h), and says so in one line and its exit code, as
// pg_isready does: 0 serving, 1 answering but not serving, 2 no answer in time, 3 bad arguments.

#include "server/admin/LinhaDeComando.h"

namespace Comando {
Executa saude;
// Arguments that could not be read at all: the line and exit code 3.
int saudeSemArgumentos(const QString& motivo);
}
