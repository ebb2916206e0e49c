#pragma once
// Backing up the registry: a consistent copy of a SQLite database into a new file, taken while
// the server keeps serving. A PostgreSQL registry is copied with pg_dump instead.
#include <QString>

class Banco;

// The new file is made 0600. False (the Banco's `ultimoErro()` tells why) on PostgreSQL, when
// `arquivo` exists already, or when the copy fails.
bool copiaPara(Banco& banco, const QString& arquivo);
