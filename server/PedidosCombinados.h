#pragma once
// The requests our own client may make beyond the plain wire's command table, each let
// through only on a framed connection that agreed its capability: a sheet's history
// (protocol/Historico.h) and what an office that works disconnected asks
// (protocol/Sincronia.h). A connection that agreed none of them sees no difference: those
// codes get the plain wire's answer to an unknown request.
#include <QStringList>
#include <QStringView>

namespace PedidosCombinados {

// Those of `pedidas` this server takes, in a fixed order.
QStringList aceitas(const QStringList& pedidas);
// The code of a request one of the `combinadas` capabilities lets through; 0 when none does.
int codigo(const QStringList& combinadas, QStringView mensagem);

} // namespace PedidosCombinados
