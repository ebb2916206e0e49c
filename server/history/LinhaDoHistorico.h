#pragma once
// One row of the history table as the server holds it: what the table unit stores and reads
// (Historico.h) and what the hash chain is computed over (CadeiaDoHistorico.h).
#include "protocol/Historico.h"

#include <QList>
#include <QString>

struct RegistroDoHistorico {
    qint64 id = 0;        // its place in the chain, set when stored
    qint64 quandoMs = 0;  // UTC, ms since the epoch
    QString operador;     // the operator, or the system account for a command
    qint32 idDepartamento = 0;
    QString endereco;     // the client's address ("" for a command)
    QString acao;         // in Portuguese, as people read it (see Acao in Historico.h)
    qint32 numeroFicha = 0;
    QList<Historico::Alteracao> alteracoes;
    QString detalhe;
    // The values (alteracoes and detalhe) enter the chain through their digest, keyed with a
    // random salt of the row's own: an erasure replaces the values with marks and drops the
    // salt, the digest stays, and nothing left can be matched against a guessed value.
    QString sal;          // hex, 16 random bytes; empty once erased
    QString digesto;      // hex, set when stored
    QString hashAntigo;   // the hash the row had under the rule before the digest (migrated rows)
    QString hash;         // hex, set when stored
};
