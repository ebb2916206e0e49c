#pragma once
// Between the login window (which owns the socket) and the wait of the request cycle.
#include <QByteArrayView>
#include <QString>

namespace Espera {

bool ativa();
// Bytes that arrived during the wait, as they came (decoded only once the reply is whole).
void recebe(QByteArrayView pedaco);
// Framed connection: bytes of the reply, and its end (the wait ends at once, no quiet rule).
void recebeQuadro(QByteArrayView pedaco);
void fimDoQuadro();
// The socket failed or the server closed the connection. Returns true when the running wait
// takes it over (it ends and, when `mostrar`, reports the failure once it has ended); false
// when no wait is running.
bool falhaDoSocket(const QString& origem, const QString& descricao, bool fechadaPeloServidor, bool mostrar);
// Memory ran out while taking a reply in: the running wait ends with its message (the caller
// closes the connection). False when no wait is running.
bool semMemoria();
// The connection was closed by the program during the wait.
void conexaoEncerrada();

} // namespace Espera
