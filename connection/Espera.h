#pragma once
// Between the login window (which owns the socket) and the wait of the request cycle.
#include <QString>
#include <QStringView>

namespace Espera {

bool ativa();
// Bytes that arrived during the wait, already decoded.
void recebe(QStringView pedaco);
// Framed connection: bytes of the reply, and its end (the wait ends at once, no quiet rule).
void recebeQuadro(QStringView pedaco);
void fimDoQuadro();
// The socket failed or the server closed the connection. Returns true when the running wait
// takes it over (it ends and, when `mostrar`, reports the failure once it has ended); false
// when no wait is running.
bool falhaDoSocket(const QString& origem, const QString& descricao, bool fechadaPeloServidor, bool mostrar);
// The connection was closed by the program during the wait.
void conexaoEncerrada();

} // namespace Espera
