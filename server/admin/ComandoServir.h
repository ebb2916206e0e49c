#pragma once

// The `servir` command: the listener's options read from the command line, then the
// clients served until SIGTERM or SIGINT. And `certificado`: the fingerprint of its TLS certificate.

#include "server/admin/LinhaDeComando.h"

namespace Comando {
Executa servir;   // int (const Argumentos& a, const QString& banco)
Executa certificado;
}
