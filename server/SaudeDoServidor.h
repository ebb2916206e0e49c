// The server's side of the health question (protocol/Saude.h): what its database says, and
// whether the server is on its way out.
#pragma once
#include "protocol/Saude.h"

#include <QByteArray>
#include <QString>

class Banco;

namespace SaudeDoServidor {

// On a worker: whether the database answers, and whether a PostgreSQL host takes writes (a
// standby, or one set read-only, does not).
Saude::Estado doBanco(Banco& banco);

// The answer as it goes on the wire (framed inside TLS); the log says it for `conexao`.
QByteArray resposta(Saude::Estado doBanco, bool cifrada, const QString& conexao);

// Said once the server was told to stop: from then on the answer is "encerrando".
void encerrando();
bool estaEncerrando();

} // namespace SaudeDoServidor
