#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

#include <csignal>

// A private PostgreSQL 15 cluster for tests and benchmarks: initdb in a temporary folder,
// the server listening only on a Unix socket in that folder (no TCP), the port picked free
// so its socket name is ours alone. Never the system's service. Run as root (CI), the
// cluster belongs to the unprivileged "postgres" account and its programs run through
// runuser; otherwise as the current user.
//
//     ClusterPostgres* pg = ClusterPostgres::compartilhado();   // one per test program
//     pg->criaBanco("r1");  servidor --db pg->conexao("r1")
//
// Tests get fsync off (fast start, nothing to keep); a benchmark that kills the server and
// counts what survived asks for a durable one.
class ClusterPostgres {
public:
    explicit ClusterPostgres(bool duravel = false);
    ~ClusterPostgres();   // stops the cluster; the folder goes with the object
    ClusterPostgres(const ClusterPostgres&) = delete;
    ClusterPostgres& operator=(const ClusterPostgres&) = delete;

    // Started on the first call, stopped when the program ends; null (and `erroGlobal`) on failure.
    static ClusterPostgres* compartilhado();
    static QString erroGlobal();

    bool inicia();
    bool para();                // fast shutdown: open connections are cut
    bool reinicia() { return para() && inicia(); }
    // SIGSTOP (SIGCONT) to the postmaster and all its processes: a database host that hangs
    // (and comes back), answering nothing and refusing nothing.
    bool suspende() { return sinaliza(SIGSTOP); }
    bool retoma() { return sinaliza(SIGCONT); }
    bool rodando() const { return m_rodando; }
    // SIGKILL to the postmaster and all its processes: the database host lost at once.
    bool derruba();
    // Server settings of this cluster's own, from the next start on, after (and over) the
    // usual ones: e.g. "-c synchronous_commit=on".
    void defineOpcoes(const QString& opcoes) { m_opcoes = opcoes; }
    // Before the first start: the cluster is made as a standby of `primario` (pg_basebackup,
    // then streaming from it) instead of by initdb.
    void segue(const ClusterPostgres& primario) { m_primario = &primario; }
    // pg_ctl promote: the standby stops following and takes writes.
    bool promove();

    bool criaBanco(const QString& nome, const QString& codificacao = QStringLiteral("UTF8"));
    // A fresh name for a database of this program.
    static QString nomeNovo();
    // The connection text zelto-server takes for database `banco`.
    QString conexao(const QString& banco) const;
    // Runs statements on `banco`; `ultimo` gets the first column of the last one's first row.
    bool executa(const QString& banco, const QStringList& comandos, QVariant* ultimo = nullptr);

    QString pasta() const { return m_pasta.path(); }
    quint16 porta() const { return m_porta; }
    const QString& erro() const { return m_erro; }
    static QString binarios();
    // `pid` and every process under it, at any depth.
    static QList<qint64> processosSob(qint64 pid);

private:
    bool sinaliza(int sinal);
    bool roda(const QString& programa, const QStringList& argumentos, int prazoMs = 60'000);

    bool m_duravel;
    QString m_opcoes;
    const ClusterPostgres* m_primario = nullptr;
    QTemporaryDir m_pasta;
    quint16 m_porta = 0;
    bool m_iniciado = false;
    bool m_rodando = false;
    QString m_erro;
};
