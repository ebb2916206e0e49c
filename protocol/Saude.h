// "Is it serving?": the health question our administration command asks a running server,
// as one more capability of the agreement (protocol/Quadros.h).
#pragma once
#include <QString>
#include <QStringList>

// The command sends "99|zelto|1|saude" (inside TLS when asked, framed as everything there)
// and the server answers "99|zelto|1|saude=<estado>" with one of the words below, and
// nothing else: no login is needed and nothing about members or operators is said. Our
// client never asks for it, so a peer that does not know it sees exactly what it saw before;
// a server that does not know it leaves it out of its answer.
namespace Saude {

inline constexpr char capacidade[] = "saude";

enum class Estado { Serve, BancoFora, SomenteLeitura, Encerrando, Desconhecido };

// The wire's word for a state, and back (Desconhecido for anything else).
QString palavra(Estado e);
Estado dePalavra(QStringView palavra);
// The state a negotiation answer's capabilities carry; Desconhecido when none.
Estado daResposta(const QStringList& capacidades);
// "saude=<estado>", as the server puts it among the capabilities of its answer.
QString capacidadeDoEstado(Estado e);

} // namespace Saude
