#pragma once

// The `servir` command: the listener's options read from the command line, then the
// clients served until SIGTERM or SIGINT.

class QString;
struct Argumentos;

namespace Comando {
int servir(const Argumentos& a, const QString& banco);
}
