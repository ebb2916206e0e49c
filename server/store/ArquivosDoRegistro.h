#pragma once
// The files of a SQLite registry as the operating system sees them: who owns them, with what
// mode they are made, and why the system refused one, said in Portuguese with its path.
#include <QString>

namespace ArquivosDoRegistro {

// Why the system refused `caminho` (errno `erro`), e.g. "/b/c.db: sem permissão (...)".
QString motivo(const QString& caminho, int erro);

// Creates `caminho` new and empty with mode 0600, whoever runs the command (a copy of the
// registry holds member data and password hashes). False, with `porque`, when it exists or
// cannot be made.
bool criaReservado(const QString& caminho, QString& porque);

// The registry file at `caminho` and its -wal and -shm were just made: when the command runs
// as root in a folder that belongs to another user (the service's), they go to the folder's
// owner and group, or the service could not write them later. False, with `porque`, when the
// hand-over fails.
bool entregaAoDonoDaPasta(const QString& caminho, QString& porque);

// "dono:grupo modo" of an existing file (e.g. "root:root 0644"), for messages.
QString donoEModo(const QString& caminho);

} // namespace ArquivosDoRegistro
