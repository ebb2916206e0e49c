#pragma once
// A pg_auto_failover formation on loopback for tests and benchmarks: a monitor and two
// PostgreSQL nodes (pg_autoctl, each keeper a process of ours), in a temporary folder, on free
// TCP ports of 127.0.0.1, trust authentication. The monitor's health checks are tightened so
// that a lost primary is failed over within seconds rather than the production defaults'
// minute. Run as root (CI), everything runs as the "postgres" account. Stopped with the object.
//
//     FormacaoPgAutoFailover f;  f.inicia();           // "registro" owned by role "zelto"
//     servidor --db f.conexao();                       // pg_autoctl show uri, with user=zelto
//     f.derrubaPrimario();  f.esperaPrimario(30'000);
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class FormacaoPgAutoFailover {
public:
    FormacaoPgAutoFailover();
    ~FormacaoPgAutoFailover();
    FormacaoPgAutoFailover(const FormacaoPgAutoFailover&) = delete;
    FormacaoPgAutoFailover& operator=(const FormacaoPgAutoFailover&) = delete;

    static bool instalado();
    // Monitor, primary, secondary; true once the secondary is a synchronous standby.
    bool inicia();
    // The connection text for database "registro" on whichever node takes writes.
    QString conexao() const { return m_conexao; }
    // SIGKILL to the primary's keeper and its PostgreSQL: the machine lost.
    bool derrubaPrimario();
    // Waits until the other node is promoted (the monitor's word); false on time-out.
    bool esperaPrimario(int prazoMs);
    // The monitor's view, as `pg_autoctl show state` prints it.
    QString estado();
    const QString& erro() const { return m_erro; }

private:
    struct No;
    bool rodaAutoctl(const QStringList& argumentos, QString* saida = nullptr, int prazoMs = 30'000);
    void iniciaNo(No& no, const QStringList& argumentos);
    bool noMonitor(const QString& sql, QString* valor = nullptr);
    bool noPrimario(const QString& sql);
    QString primarioAtual();   // the port of the node the monitor holds primary

    QTemporaryDir m_pasta;
    std::vector<std::unique_ptr<No>> m_nos;   // monitor, node A, node B
    QString m_conexao;
    QString m_derrubado;   // the port of the primary brought down
    QString m_erro;
};
