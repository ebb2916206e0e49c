#pragma once
// The hash chain over the history's rows. Each row's hash is BLAKE2b of the hash before it,
// of every column that says who, when, from where and what (its id included), of the names
// of the fields it changed, and of the digest of its values: the digest is BLAKE2b of the
// values (old/new of each field, and the detail) keyed with the row's own random salt. So a
// row edited, removed or slipped in by hand no longer matches, and a member's values can
// still be erased on request (CadeiaDoHistorico::marcaDeValor in their place, the salt gone,
// the digest kept) with the chain whole. An erased row names the erasure row after it, which
// says how many rows it erased: values blanked by hand, without that row, are named too.
//
// The first row chains to the empty text, or, after a retention, to the anchor the
// retention's row carries (the hash of the last row it removed). Rows written before the
// digest (schema 5) were chained again under this rule when the registry was migrated, and
// keep their old hash in `hashAntigo` (covered by the new one), so a link noted before still
// has a place in the chain.
#include "server/history/LinhaDoHistorico.h"

#include <QString>

class Banco;

namespace CadeiaDoHistorico {

// The hash (hex) of `registro` chained to `anterior` (hex; empty for the first row).
QString elo(const QString& anterior, const RegistroDoHistorico& registro);
// The digest (hex) of the row's values keyed with `sal` (hex).
QString digesto(const QString& sal, const RegistroDoHistorico& registro);
// A new salt, the digest and the hash of a row about to be appended after `anterior`.
void sela(const QString& anterior, RegistroDoHistorico& registro);
// The rule before the digest: every column straight into the hash (a registry of schema 5).
QString eloDaRegraAnterior(const QString& anterior, const RegistroDoHistorico& registro);

// What an erased value reads as, and the detail of an erased row (naming its erasure's row).
QString marcaDeValor();
QString marcaDoDetalhe(qint64 idDaEliminacao);
// Whether the row carries the erasure's marks; `idDaEliminacao` the row that erased it.
bool eliminada(const RegistroDoHistorico& registro, qint64& idDaEliminacao);

enum class Regra { Atual, Anterior };

struct Verificacao {
    bool integra = false;
    qint64 linhas = 0;      // rows walked
    qint64 primeiraRuim = 0; // id of the first row that does not match (0: none)
    QString problema;       // what is wrong there, for the administrator
    QString ultimoElo;      // the head's hash, to note down elsewhere
    qint64 ultimoId = 0;    // the head's id
};

// Walks the whole chain; false only on a database failure.
bool verifica(Banco& banco, Verificacao& v, Regra regra = Regra::Atual);

} // namespace CadeiaDoHistorico
