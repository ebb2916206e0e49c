#pragma once

// The history's administration commands: listing it (filtered, as text or CSV), verifying
// its chain, the retention that removes its old rows, and everything about one member for
// that member; and the row every administration command leaves behind.

#include "server/admin/LinhaDeComando.h"

namespace Comando {
Executa historico, titular;
}

// Appends the row of a command that ran (its options but the connection, the system account
// that ran it, its exit code). Silent when the store cannot be opened: the command has said
// what went wrong already.
void registraComando(const Argumentos& a, const QString& banco, int saida);
