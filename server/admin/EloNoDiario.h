#pragma once
// The history chain's head written to the server's log at every start and once a day, so the
// journal (or wherever the administrator forwards it) keeps, outside the database, the links
// a later `historico --elo` checks: a row edited, removed or cut from the end since, or a
// chain whose hashes were all computed again, no longer holds a link the log saw.
#include <QString>

namespace EloNoDiario {

constexpr qint64 intervaloMs = 24 * 3600 * 1000;

// Reads the head over a connection of its own to `conexao`; one log line, also when it fails.
void registra(const QString& conexao);

} // namespace EloNoDiario
