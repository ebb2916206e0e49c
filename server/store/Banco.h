#pragma once
// One connection to the registry's database: opening and configuring it, noticing it lost and
// reopening it, transactions and savepoints, prepared statements, and what the last failure was.
//
// The connection text chooses the engine: "sqlite:PATH" (the default engine: WAL journal, full
// sync on every commit) or any text libpq takes: "postgresql://USER@HOST1:PORT1,HOST2:PORT2/DATABASE?..."
// or "host=... dbname=..." words (see EnderecoPg). The store's units (Esquema, FichasGravadas, Cadastro, SessoesGravadas,
// Copia) run their SQL through a Banco; what differs between the two engines in how a
// connection behaves lives here. Each Banco owns its own connection and reconnect state: one
// per thread.
//
// Every operation returns false on a database failure; `ultimoErro()` tells which.
//
// A lost connection (the database restarted, the backend ended) is noticed by the failing
// operation and reopened on the next one that is not inside a transaction, and by `vigia()`,
// which the server calls every second. While the database refuses connections (it is down),
// each request tries once more (a refusal is immediate); when a try hangs until its
// time-out, the next ones wait for a back-off of up to two seconds and every operation in
// between fails at once.
//
// A commit PostgreSQL answers with a warning is one whose outcome is not what it seems: the
// wait for the synchronous standby given up at the statement's time-out (the change is on the
// primary alone, and a failover now would lose it). It is reported as a failure, never as
// stored; the same for a change outside a transaction.
//
// On PostgreSQL a waiting lock gives up after `esperaDeBloqueioMs` and a statement after
// `limiteDeComandoMs`, both below the client's time-out, so one stuck row costs one request.
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <initializer_list>

typedef struct pg_result PGresult;

class Banco {
public:
    explicit Banco(QString conexao);
    ~Banco();
    Banco(const Banco&) = delete;
    Banco& operator=(const Banco&) = delete;

    // `criar`: a missing SQLite file is created (only the administration commands do so).
    bool abre(bool criar);
    static constexpr int esperaDeBloqueioMs = 2000;
    static constexpr int limiteDeComandoMs = 5000;
    bool ehPostgres() const { return !m_sqlite; }
    // The connection text without its password, for messages.
    QString descricao() const;
    // The connection text as given (with its password): another Banco opens the same store.
    const QString& conexao() const { return m_conexao; }
    const QString& ultimoErro() const { return m_erro; }

    // Reconnect: called every second or so; reopens a lost connection (or checks a quiet
    // one) outside any transaction. Log lines go to the function given to `defineDiario`.
    void vigia();
    bool conectado() const { return !m_perdida; }
    void defineDiario(std::function<void(const QString&)> diario) { m_diario = std::move(diario); }
    // The last failure was a deadlock or a serialization conflict: running the same
    // statements again (after rolling back to the savepoint) may well succeed.
    bool falhaPassageira() const { return m_passageira; }
    // The last failure was a write the store refused (disk full, read-only): reading still works.
    // The log says so once for the whole process (EstadoDeGravacao).
    bool falhaDeGravacao() const { return m_semGravacao; }

    // One transaction around a batch of requests, one savepoint around each change in it.
    bool iniciaTransacao();
    bool emTransacao() const { return m_emTransacao; }
    bool confirmaTransacao();
    void desfazTransacao();
    bool marcaPonto();
    bool liberaPonto();
    void voltaAoPonto();

    // What the store's units build on.
    // Prepared once per text and kept; null when the connection is not ready or the text fails.
    QSqlQuery* prepara(const QString& sql);
    bool executa(QSqlQuery* q);
    // Prepared (once), `valores` bound in order, executed: the query to read, or null on failure.
    QSqlQuery* consulta(const QString& sql, std::initializer_list<QVariant> valores);
    // Runs a statement that returns no rows; `linhas` (when given) gets the count it changed.
    bool altera(const QString& sql, std::initializer_list<QVariant> valores, qint64* linhas = nullptr);
    // Whether the query returns any row.
    bool temLinha(const QString& sql, std::initializer_list<QVariant> valores, bool& tem);
    // Runs `sql` with `valores` and calls `porLinha(const QSqlQuery&)` for each row.
    template <class PorLinha>
    bool paraCadaLinha(const QString& sql, std::initializer_list<QVariant> valores, PorLinha&& porLinha);
    // Runs `sql` once, unprepared (schema changes, savepoints).
    bool executaDireto(const QString& sql);
    // The Qt connection underneath, for what a unit runs by hand.
    QSqlDatabase db() const;
    QString tipoBinario() const { return m_sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA"); }
    // Records the failure `onde: detalhe` as the last error; always false.
    bool falha(const QString& onde, const QString& detalhe);
    // Every database error goes through here: one line, the engine's code, and for PostgreSQL
    // whether the connection was lost.
    bool falhaDoBanco(const QString& onde, const QSqlError& e);
    // Qt binds a null QString as SQL NULL; the text columns hold the empty text instead.
    static QVariant texto(const QString& t);

private:
    friend void avisoDoPostgres(void* banco, const PGresult* aviso);
    void ouveAvisos();
    bool confirmacaoIncerta(int avisosAntes);
    bool configuraConexao();
    bool pronto();
    bool reabre();
    void perdeu();
    bool gravacaoRecusada(const QSqlError& e) const;
    void gravou();

    QString m_conexao;
    QString m_nomeConexao;
    bool m_sqlite = true;
    QString m_erro;
    QHash<QString, QSqlQuery*> m_preparadas;
    bool m_emTransacao = false;
    bool m_perdida = false;
    bool m_passageira = false;
    bool m_semGravacao = false;
    bool m_gravando = false;   // in a statement that writes, or a commit
    bool m_mudou = false;      // a change of this transaction was kept
    bool m_tentativaLenta = false;
    qint64 m_perdidaDesdeMs = 0;
    qint64 m_proximaTentativaMs = 0;
    qint64 m_esperaMs = 0;
    qint64 m_ultimoAvisoMs = 0;
    qint64 m_ultimaVigiaMs = 0;
    std::function<void(const QString&)> m_diario;
    int m_avisos = 0;            // PostgreSQL's WARNINGs on this connection so far
    QString m_ultimoAviso;
};

template <class PorLinha>
bool Banco::paraCadaLinha(const QString& sql, std::initializer_list<QVariant> valores, PorLinha&& porLinha)
{
    QSqlQuery* q = consulta(sql, valores);
    if (!q)
        return false;
    while (q->next())
        porLinha(*q);
    q->finish();
    return true;
}
