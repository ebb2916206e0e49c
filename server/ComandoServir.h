#pragma once

// The `servir` command: the listener's options read from the command line, then the
// clients served until SIGTERM or SIGINT.

#include "server/LinhaDeComando.h"

namespace Comando {
Executa servir;   // int (const Argumentos& a, const QString& banco)
}
