#include "FormacaoPgAutoFailover.h"
#include "ClusterPostgres.h"
#include "Limpeza.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>

#include <pwd.h>
#include <csignal>
#include <unistd.h>

struct FormacaoPgAutoFailover::No {
    QString nome;
    quint16 porta = 0;
    QProcess processo;
};

namespace {

bool comoRoot()
{
    return ::geteuid() == 0;
}

// A free port below the range the system hands out to outgoing connections. One from that
// range can be taken by any client's connection (the keepers', the test's) in the moment
// before PostgreSQL binds it; PostgreSQL then listens on IPv6 alone and 127.0.0.1 is refused
// (seen under the full suite: the monitor "ready", the formation never).
quint16 portaLivre()
{
    QFile faixa(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    const int efemeras = faixa.open(QIODevice::ReadOnly) ? faixa.readAll().simplified().split(' ').value(0).toInt() : 0;
    constexpr int base = 20000;
    for (int tentativa = 0; efemeras > base + 1000 && tentativa < 100; ++tentativa) {
        const quint16 porta = quint16(QRandomGenerator::global()->bounded(base, efemeras));
        QTcpServer livre;
        if (livre.listen(QHostAddress::Any, porta))
            return porta;
    }
    QTcpServer livre;
    livre.listen(QHostAddress::LocalHost, 0);
    return livre.serverPort();
}

} // namespace

FormacaoPgAutoFailover::FormacaoPgAutoFailover()
{
    for (const char* nome : {"monitor", "a", "b"}) {
        auto no = std::make_unique<No>();
        no->nome = QString::fromLatin1(nome);
        m_nos.push_back(std::move(no));
    }
}

FormacaoPgAutoFailover::~FormacaoPgAutoFailover()
{
    // The nodes first (their keepers stop their PostgreSQL), the monitor last.
    for (auto it = m_nos.rbegin(); it != m_nos.rend(); ++it)
        if ((*it)->processo.state() != QProcess::NotRunning) {
            (*it)->processo.terminate();
            if (!(*it)->processo.waitForFinished(15'000))
                for (qint64 p : ClusterPostgres::processosSob((*it)->processo.processId()))
                    ::kill(pid_t(p), SIGKILL);
        }
}

bool FormacaoPgAutoFailover::instalado()
{
    return QFile::exists(QStringLiteral("/usr/bin/pg_autoctl"))
        && QFile::exists(ClusterPostgres::binarios() + QStringLiteral("/../lib/pgautofailover.so"));
}

void FormacaoPgAutoFailover::iniciaNo(No& no, const QStringList& argumentos)
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("PATH"), ClusterPostgres::binarios() + u':' + ambiente.value(QStringLiteral("PATH")));
    // pg_autoctl keeps its configuration and state under the XDG folders: ours, in the test's folder.
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        ambiente.insert(QString::fromLatin1(xdg), m_pasta.filePath(QString::fromLatin1(xdg).toLower()));
    no.processo.setProcessEnvironment(ambiente);
    no.processo.setWorkingDirectory(m_pasta.path());
    no.processo.setStandardOutputFile(m_pasta.filePath(no.nome + QStringLiteral(".log")));
    no.processo.setProcessChannelMode(QProcess::MergedChannels);
    if (comoRoot())
        no.processo.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                                                                 QStringLiteral("pg_autoctl")} + argumentos);
    else
        no.processo.start(QStringLiteral("pg_autoctl"), argumentos);
}

bool FormacaoPgAutoFailover::rodaAutoctl(const QStringList& argumentos, QString* saida, int prazoMs)
{
    No no;
    no.nome = QStringLiteral("comando");
    iniciaNo(no, argumentos);
    if (!no.processo.waitForFinished(prazoMs) || no.processo.exitCode() != 0) {
        QFile log(m_pasta.filePath(QStringLiteral("comando.log")));
        log.open(QIODevice::ReadOnly);
        m_erro = QStringLiteral("pg_autoctl %1: %2").arg(argumentos.join(u' '), QString::fromLocal8Bit(log.readAll()));
        return false;
    }
    if (saida) {
        QFile log(m_pasta.filePath(QStringLiteral("comando.log")));
        log.open(QIODevice::ReadOnly);
        *saida = QString::fromLocal8Bit(log.readAll()).trimmed();
    }
    return true;
}

bool FormacaoPgAutoFailover::noMonitor(const QString& sql, QString* valor)
{
    const QString nome = QStringLiteral("monitor-%1").arg(quintptr(this));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_nos[0]->porta);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("pg_auto_failover"));
        QSqlQuery q(db);
        ok = db.open() && q.exec(sql);
        if (ok && valor)
            *valor = q.next() ? q.value(0).toString() : QString();
        if (!ok)
            m_erro = db.lastError().text() + q.lastError().text();
    }
    QSqlDatabase::removeDatabase(nome);
    return ok;
}

bool FormacaoPgAutoFailover::noPrimario(const QString& sql)
{
    const QString nome = QStringLiteral("primario-%1").arg(quintptr(this));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(primarioAtual().toInt());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("registro"));
        QSqlQuery q(db);
        ok = db.open() && q.exec(sql);
        if (!ok)
            m_erro = sql + QStringLiteral(": ") + db.lastError().text() + q.lastError().text();
    }
    QSqlDatabase::removeDatabase(nome);
    return ok;
}

QString FormacaoPgAutoFailover::primarioAtual()
{
    QString porta;
    noMonitor(QStringLiteral("SELECT nodeport FROM pgautofailover.node WHERE reportedstate IN ('single', 'wait_primary', 'primary') "
                             "AND goalstate = reportedstate"),
              &porta);
    return porta;
}

bool FormacaoPgAutoFailover::inicia()
{
    if (!m_pasta.isValid()) {
        m_erro = QStringLiteral("não foi possível criar a pasta temporária");
        return false;
    }
    // Whatever outlives the test program: every PostgreSQL and keeper of the folder, killed.
    Limpeza::vigiaPasta(m_pasta.path(), QStringLiteral("for f in $(find '%1' -name '*.pid'); do kill -KILL $(head -n 1 \"$f\"); done")
                                            .arg(m_pasta.path()));
    if (comoRoot()) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw || ::chown(QFile::encodeName(m_pasta.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_erro = QStringLiteral("não foi possível entregar %1 à conta postgres").arg(m_pasta.path());
            return false;
        }
    }
    for (auto& no : m_nos)
        no->porta = portaLivre();
    const QStringList comuns{QStringLiteral("--hostname"), QStringLiteral("127.0.0.1"), QStringLiteral("--auth"), QStringLiteral("trust"),
                             QStringLiteral("--no-ssl"), QStringLiteral("--run")};
    No& monitor = *m_nos[0];
    iniciaNo(monitor, QStringList{QStringLiteral("create"), QStringLiteral("monitor"), QStringLiteral("--pgdata"), m_pasta.filePath(monitor.nome),
                                  QStringLiteral("--pgport"), QString::number(monitor.porta)}
                          + comuns);
    QString uriDoMonitor;
    // Seconds, even on a loaded machine. The monitor's configuration is asked for only once
    // it is written: two pg_autoctl making their folders under XDG_CONFIG_HOME at once may
    // both fail ("File exists"), the monitor among them (seen under the full suite).
    const QString configuracao = m_pasta.filePath(QStringLiteral("xdg_config_home/pg_autoctl")) + m_pasta.filePath(monitor.nome)
        + QStringLiteral("/pg_autoctl.cfg");
    const QDeadlineTimer prazo(60'000);
    while (!QFile::exists(configuracao) || !rodaAutoctl({QStringLiteral("show"), QStringLiteral("uri"), QStringLiteral("--pgdata"), m_pasta.filePath(monitor.nome),
                         QStringLiteral("--formation"), QStringLiteral("monitor")},
                        &uriDoMonitor)
           || !noMonitor(QStringLiteral("SELECT 1"))) {
        if (prazo.hasExpired() || monitor.processo.state() == QProcess::NotRunning) {
            // What the monitor itself said, for the reason (it writes its log to monitor.log).
            QFile log(m_pasta.filePath(monitor.nome + QStringLiteral(".log")));
            log.open(QIODevice::ReadOnly);
            m_erro = QStringLiteral("o monitor não ficou pronto (%1): %2\nmonitor: %3")
                         .arg(prazo.hasExpired() ? QStringLiteral("prazo esgotado") : QStringLiteral("terminou"), m_erro,
                              QString::fromLocal8Bit(log.readAll().right(2000)));
            return false;
        }
        monitor.processo.waitForFinished(200);   // a pause, and a monitor that died is seen as such
    }
    // A lost node is called unhealthy after 3 s and its standby promoted 2 s later (the
    // defaults: 20 s and 30 s, for networks that hiccup).
    if (!noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.health_check_period = 1000"))
        || !noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.health_check_timeout = 1000"))
        || !noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.health_check_max_retries = 1"))
        || !noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.health_check_retry_delay = 500"))
        || !noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.node_considered_unhealthy_timeout = 3000"))
        || !noMonitor(QStringLiteral("ALTER SYSTEM SET pgautofailover.primary_demote_timeout = 2000"))
        || !noMonitor(QStringLiteral("SELECT pg_reload_conf()")))
        return false;
    // Each node's base backup and start: under a minute on a loaded machine.
    const QDeadlineTimer prazoDosNos(90'000);
    for (int i : {1, 2}) {
        No& no = *m_nos[i];
        iniciaNo(no, QStringList{QStringLiteral("create"), QStringLiteral("postgres"), QStringLiteral("--pgdata"), m_pasta.filePath(no.nome),
                                 QStringLiteral("--pgport"), QString::number(no.porta), QStringLiteral("--monitor"), uriDoMonitor,
                                 QStringLiteral("--dbname"), QStringLiteral("registro"), QStringLiteral("--name"), no.nome}
                             + comuns);
        // The second node's base backup waits for a checkpoint of the primary, spread over
        // minutes unless one is asked for at once.
        const QString meta = i == 1 ? QStringLiteral("SELECT count(*) FROM pgautofailover.node WHERE reportedstate = 'single'")
                                    : QStringLiteral("SELECT count(*) FROM pgautofailover.node WHERE reportedstate = goalstate "
                                                     "AND reportedstate IN ('primary', 'secondary')");
        QString pronto;
        while (!(noMonitor(meta, &pronto) && pronto == QString::number(i))) {
            if (prazoDosNos.hasExpired() || no.processo.state() == QProcess::NotRunning) {
                m_erro = QStringLiteral("o nó %1 não ficou pronto: %2").arg(no.nome, estado());
                return false;
            }
            if (i == 2)
                noPrimario(QStringLiteral("CHECKPOINT"));
            no.processo.waitForFinished(300);
        }
    }
    // The registry's own role owns the database (and so its public schema).
    if (!noPrimario(QStringLiteral("CREATE ROLE zelto LOGIN")) || !noPrimario(QStringLiteral("ALTER DATABASE registro OWNER TO zelto")))
        return false;
    QString uri;
    if (!rodaAutoctl({QStringLiteral("show"), QStringLiteral("uri"), QStringLiteral("--pgdata"), m_pasta.filePath(monitor.nome),
                      QStringLiteral("--formation"), QStringLiteral("default")},
                     &uri))
        return false;
    m_conexao = uri.replace(QLatin1String("postgres://"), QLatin1String("postgresql://zelto@"));
    return true;
}

bool FormacaoPgAutoFailover::derrubaPrimario()
{
    const QString porta = primarioAtual();
    m_derrubado = porta;
    for (auto& no : m_nos)
        if (no->nome != QLatin1String("monitor") && QString::number(no->porta) == porta) {
            for (qint64 p : ClusterPostgres::processosSob(no->processo.processId()))
                ::kill(pid_t(p), SIGKILL);
            no->processo.waitForFinished(5000);
            return true;
        }
    m_erro = QStringLiteral("nenhum primário: ") + estado();
    return false;
}

bool FormacaoPgAutoFailover::esperaPrimario(int prazoMs)
{
    const QString antes = m_derrubado.isEmpty() ? primarioAtual() : m_derrubado;
    for (const QDeadlineTimer prazo(prazoMs); !prazo.hasExpired(); QThread::msleep(100)) {
        QString promovido;
        if (noMonitor(QStringLiteral("SELECT nodeport FROM pgautofailover.node WHERE reportedstate IN ('wait_primary', 'primary') "
                                     "AND nodeport <> %1")
                          .arg(antes.isEmpty() ? QStringLiteral("0") : antes),
                      &promovido)
            && !promovido.isEmpty())
            return true;
    }
    m_erro = QStringLiteral("nenhum nó promovido: ") + estado();
    return false;
}

QString FormacaoPgAutoFailover::estado()
{
    QString saida;
    rodaAutoctl({QStringLiteral("show"), QStringLiteral("state"), QStringLiteral("--pgdata"), m_pasta.filePath(QStringLiteral("monitor"))}, &saida);
    return saida;
}
