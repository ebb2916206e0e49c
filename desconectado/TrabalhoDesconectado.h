#pragma once
// The program's side of working disconnected, for the login window and the main window:
// what happens to the operator's copy at each login, and whether this run works without the
// server (the requests are then answered from the copy, RespostasDaCopia.h). Everything here
// does nothing while the deployment has the mode off (Implantacao::trabalhoDesconectado).
#include "desconectado/CopiaSelada.h"
#include "desconectado/Sincronizador.h"

#include <QDateTime>
#include <functional>

class QTimer;

namespace TrabalhoDesconectado {

// A connected login the server accepted (`operador` as it replied): opens the copy, or makes
// a new one, and, when the connection agreed to it, brings it up to date and sends the
// journal. Completo when there was nothing to do. A filled copy then stands behind the session:
// if the link drops, the next request finds it (defineReservaSemConexao, Requisicao.h), the
// operator is told once, and the session goes on working disconnected.
Sincronizador::Resultado aposLogin(const clsUsuario& operador, const QString& senha, QTimer* timerTimeOut);
// The server refused `usuario` with `senha`. When that password opens this desk's copy of
// `usuario`, the server no longer knows the operator the copy was made for: it goes. A
// mistyped password opens nothing and leaves the copy alone. True when a copy went.
bool aposRecusa(const QString& usuario, const QString& senha);

// A login while the server cannot be reached: the copy opened, and requests go to it from now
// on; anything else is what the operator is told.
CopiaSelada::Estado entraSemConexao(const QString& usuario, const QString& senha);
bool semConexao();
// The last time this copy saw the server: working disconnected since then.
QDateTime desde();
// The main window's banner (empty when connected): since when, the changes waiting, and
// whether the server can be reached again.
QString faixa();
CopiaSelada* copia();
// The log-off: back to the server for the next login.
void encerra();

// Tests: the clock (UTC milliseconds since the epoch); empty: the real one.
void defineRelogioParaTeste(std::function<qint64()> relogio);
qint64 agoraMs();

} // namespace TrabalhoDesconectado
