#pragma once
// A member's values erased from the history on their request (the right the data protection
// law gives a member who leaves). Every row of that sheet in that department, and every search
// of that department whose filter named the member (its name text, folded as searches fold it,
// within one of the names the sheet ever had, or holding one of them), keeps who, when, from
// where, what kind of action and the sheet's number; its values (old/new of every field, the
// deleted sheet, the filter, the detail) become CadeiaDoHistorico's marks and its salt goes,
// its digest stays, so the chain still verifies. The erasure is a row of its own, after them,
// with the account that ran it and how many rows it erased, and no value. The answers kept for
// an office's queued changes to that sheet (Mudancas) lose the sheet they carried.
//
// All of it in one transaction that first takes the chain's lock (the servers' changes wait for
// it, and get 0 past their lock's wait; on PostgreSQL its statements have no time limit). Afterwards the freed space
// is overwritten where the values were: on SQLite, with secure_delete on, the file is rebuilt
// (VACUUM) and the write-ahead log emptied; on PostgreSQL those tables are rewritten
// (VACUUM FULL), which leaves no dead tuple behind. Both wait for the servers' transactions.
#include <QString>

class Banco;

namespace EliminacaoDoTitular {

struct Pedido {
    qint32 numeroFicha = 0;
    qint32 idDepartamento = 0;
    bool excluirFicha = false;   // the sheet still exists: deleted here, with its own history row
    QString conta;               // who runs it (the system account)
};

struct Resultado {
    qint64 linhasDaFicha = 0;
    qint64 buscas = 0;
    qint64 idDaEliminacao = 0;
    bool fichaExcluida = false;
    QString aviso;   // the freed space could not be overwritten (said, not a failure)
};

// False with `recusa` set when refused (the sheet still exists, is unknown, or is another
// department's); false with `recusa` empty on a database failure (the Banco's `ultimoErro()`).
bool elimina(Banco& banco, const Pedido& pedido, Resultado& resultado, QString& recusa);

} // namespace EliminacaoDoTitular
