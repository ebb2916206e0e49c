#pragma once
// The history table: who did what to the registry, one row per change, read, login, log-off
// and administration command. Rows are only ever appended, each carrying a hash chained to
// the row before it (CadeiaDoHistorico); the one removal is the retention command's, which
// leaves behind a row anchoring what remains. Passwords and session secrets never reach it.
//
// A single chain per database: an append reads the head (the row with the highest id) inside
// the caller's transaction, which on SQLite already holds the only write lock, and on
// PostgreSQL first takes a transaction-level advisory lock, so several servers on one database
// (and the administration commands) append one after the other and the chain stays whole.
//
// Every operation returns false on a database failure; the Banco's `ultimoErro()` tells which.
#include "protocol/Historico.h"
#include "protocol/clsAgenda.h"
#include "server/history/LinhaDoHistorico.h"

#include <QList>
#include <QString>

#include <functional>
#include <limits>
#include <optional>

class Banco;

namespace Acao {
QString inclusao();
QString alteracao();
QString exclusao();
QString consulta();       // one sheet read by its number
QString busca();          // a list or a search
QString historico();      // a sheet's history read by an operator
QString copia();          // the changes an office that works disconnected read
QString login();
QString loginRecusado();
QString logoff();
QString comando();        // an administration command
QString retencao();       // the retention command's own row
QString titular();        // everything about one member exported for them
QString eliminacao();     // a member's values erased on their request (CadeiaDoHistorico)
QString migracao();       // the chain moved to the rule with the values' digest
} // namespace Acao

class HistoricoGravado {
public:
    explicit HistoricoGravado(Banco& banco) : m_banco(banco) {}

    // Appends the rows at the chain's head, in order, inside the caller's transaction (or in
    // one of their own when there is none); sets each one's id and hash.
    bool acrescenta(QList<RegistroDoHistorico>& registros);
    bool acrescenta(RegistroDoHistorico& registro);
    // Within a transaction that will append: on PostgreSQL, waits for the chain's lock (held
    // to the transaction's end). Taken before any other row, a transaction never holds a row
    // another server's transaction needs while waiting for the chain.
    bool reservaACadeia();

    // One sheet's rows, newest first, at most `limite`.
    bool daFicha(qint32 idDepartamento, qint32 numeroFicha, int limite, QList<RegistroDoHistorico>& saida);

    struct Filtro {
        qint32 numeroFicha = 0;          // 0: any
        qint32 idDepartamento = 0;       // 0: any
        QString operador;                // empty: any
        qint64 desdeMs = std::numeric_limits<qint64>::min();
        qint64 ateMs = std::numeric_limits<qint64>::max();   // inclusive
    };
    // The rows that pass, oldest first, handed one at a time.
    bool lista(const Filtro& filtro, const std::function<void(const RegistroDoHistorico&)>& porLinha);
    // Whether a name is an operator's or appears in the history.
    bool operadorConhecido(const QString& nome, bool& conhecido);
    // The departments holding a sheet of that number, now or in its history.
    bool departamentosDaFicha(qint32 numeroFicha, QList<qint32>& saida);

    // Every row older than `antesDeMs` up to the first one that is not, in one transaction
    // with `registro` (the retention's own row, which anchors the chain at the last row
    // removed). `apagadas`: how many went.
    bool apagaAte(qint64 antesDeMs, RegistroDoHistorico& registro, qint64& apagadas);

    // Rows from id `depoisDe` on (exclusive), oldest first, at most `quantas`.
    bool fatia(qint64 depoisDe, int quantas, QList<RegistroDoHistorico>& saida);
    // The anchors the retention rows left: id of the last row removed -> its hash.
    bool ancoras(QList<std::pair<qint64, QString>>& saida);
    bool contaLinhas(qint64& quantas);

    // The fields that differ, old -> new, as people read them (a sheet missing on one side
    // counts as all blank: an inclusion lists every field filled, a deletion the sheet as it was).
    static QList<Historico::Alteracao> diferencas(const std::optional<clsAgenda>& antes, const std::optional<clsAgenda>& depois);
    static QString textoDasAlteracoes(const QList<Historico::Alteracao>& alteracoes);
    static QList<Historico::Alteracao> alteracoesDoTexto(const QString& texto);
    // Who runs this process (the system account): the operator of a command's rows.
    static QString contaDoSistema();
    // What a retention row's detail starts with: "ancora=ID:HASH".
    static bool leAncora(const QString& detalhe, qint64& id, QString& hash);

    // The same inside a transaction the caller holds (a migration's, an erasure's).
    bool acrescentaNaTransacao(QList<RegistroDoHistorico>& registros);
    // The chain's head: its id (0 when empty) and hash.
    bool cabeca(qint64& id, QString& hash);
    // The row whose hash (or, for a row migrated from the rule before, whose old hash) is `hash`.
    bool procuraElo(const QString& hash, std::optional<RegistroDoHistorico>& achado);

    // The erasure rows: their id, sheet, department and how many rows they say they erased.
    struct Eliminacao {
        qint64 id = 0;
        qint32 numeroFicha = 0;
        qint32 idDepartamento = 0;
        qint64 linhas = 0;
    };
    bool eliminacoes(QList<Eliminacao>& saida);

private:

    Banco& m_banco;
};
