#pragma once
// The hash chain over the history's rows: each row's hash is BLAKE2b of the hash before it
// and of every column of the row (its id included), so a row edited, removed or slipped in
// by hand no longer matches. The first row chains to the empty text, or, after a retention,
// to the anchor the retention's row carries (the hash of the last row it removed).
#include "server/LinhaDoHistorico.h"

#include <QString>

class Banco;

namespace CadeiaDoHistorico {

// The hash (hex) of `registro` chained to `anterior` (hex; empty for the first row).
QString elo(const QString& anterior, const RegistroDoHistorico& registro);

struct Verificacao {
    bool integra = false;
    qint64 linhas = 0;      // rows walked
    qint64 primeiraRuim = 0; // id of the first row that does not match (0: none)
    QString problema;       // what is wrong there, for the administrator
    QString ultimoElo;      // the head's hash, to note down elsewhere
};

// Walks the whole chain; false only on a database failure.
bool verifica(Banco& banco, Verificacao& v);

} // namespace CadeiaDoHistorico
