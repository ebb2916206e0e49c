#include "ClusterPostgres.h"
#include "Limpeza.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>

#include <pwd.h>
#include <unistd.h>

namespace {

std::unique_ptr<ClusterPostgres> g_compartilhado;
QString g_erro;
bool g_tentado = false;
QAtomicInt g_contador;

// Root may not run PostgreSQL: the cluster then belongs to the "postgres" account.
bool comoRoot()
{
    return ::geteuid() == 0;
}

} // namespace

QString ClusterPostgres::binarios()
{
    const QString env = qEnvironmentVariable("ZELTO_PG_BIN");
    if (!env.isEmpty())
        return env;
    for (int v : {17, 16, 15, 14, 13})
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(v)))
            return QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
    return QStringLiteral("/usr/lib/postgresql/15/bin");
}

ClusterPostgres::ClusterPostgres(bool duravel) : m_duravel(duravel) {}

ClusterPostgres::~ClusterPostgres()
{
    if (!qEnvironmentVariableIsEmpty("ZELTO_PG_GUARDA_DIARIO"))
        QFile::copy(m_pasta.filePath(QStringLiteral("postgres.log")), qEnvironmentVariable("ZELTO_PG_GUARDA_DIARIO"));
    if (m_rodando)
        roda(QStringLiteral("pg_ctl"), {QStringLiteral("stop"), QStringLiteral("-D"), m_pasta.filePath(QStringLiteral("dados")),
                                        QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w")});
}

ClusterPostgres* ClusterPostgres::compartilhado()
{
    if (!g_tentado) {
        g_tentado = true;
        auto c = std::make_unique<ClusterPostgres>();
        if (c->inicia()) {
            g_compartilhado = std::move(c);
            // Stopped with the program, before static destruction takes Qt away.
            qAddPostRoutine([] { g_compartilhado.reset(); });
        } else {
            g_erro = c->erro();
        }
    }
    return g_compartilhado.get();
}

QString ClusterPostgres::erroGlobal()
{
    return g_erro;
}

QString ClusterPostgres::nomeNovo()
{
    return QStringLiteral("zelto_%1_%2").arg(QCoreApplication::applicationPid()).arg(g_contador.fetchAndAddRelaxed(1));
}

bool ClusterPostgres::roda(const QString& programa, const QStringList& argumentos, int prazoMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_pasta.path());
    const QString caminho = binarios() + QLatin1Char('/') + programa;
    if (comoRoot())
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), caminho} + argumentos);
    else
        p.start(caminho, argumentos);
    if (!p.waitForFinished(prazoMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_erro = QStringLiteral("%1 falhou: %2 %3").arg(programa, p.errorString(), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool ClusterPostgres::inicia()
{
    if (m_rodando)
        return true;
    if (!m_pasta.isValid()) {
        m_erro = QStringLiteral("não foi possível criar a pasta temporária");
        return false;
    }
    if (!QFile::exists(binarios() + QStringLiteral("/initdb"))) {
        m_erro = QStringLiteral("PostgreSQL não instalado (%1/initdb); rode scripts/setup.sh").arg(binarios());
        return false;
    }
    const QString dados = m_pasta.filePath(QStringLiteral("dados"));
    if (!m_iniciado) {
        // Should this program die before its destructor runs, the cluster is stopped
        // (immediate shutdown) and its folder removed all the same.
        Limpeza::vigiaPasta(m_pasta.path(),
                            QStringLiteral("p=$(head -n 1 '%1/postmaster.pid') || exit 0; kill -QUIT \"$p\"; "
                                           "for i in $(seq 50); do kill -0 \"$p\" || exit 0; sleep 0.2; done; kill -KILL \"$p\"")
                                .arg(dados));
        if (comoRoot()) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw) {
                m_erro = QStringLiteral("rodando como root, falta a conta \"postgres\" para o cluster de teste");
                return false;
            }
            if (::chown(QFile::encodeName(m_pasta.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                m_erro = QStringLiteral("não foi possível entregar %1 à conta postgres").arg(m_pasta.path());
                return false;
            }
        }
        if (m_primario) {
            // A copy of the primary that follows it (standby.signal and primary_conninfo by -R).
            QStringList args{QStringLiteral("-D"), dados, QStringLiteral("-h"), m_primario->pasta(), QStringLiteral("-p"),
                             QString::number(m_primario->porta()), QStringLiteral("-U"), QStringLiteral("zelto"),
                             QStringLiteral("-X"), QStringLiteral("stream"), QStringLiteral("-R"), QStringLiteral("-c"), QStringLiteral("fast")};
            if (!m_duravel)
                args << QStringLiteral("--no-sync");
            if (!roda(QStringLiteral("pg_basebackup"), args))
                return false;
        } else {
            QStringList args{QStringLiteral("-D"), dados, QStringLiteral("-U"), QStringLiteral("zelto"), QStringLiteral("-A"), QStringLiteral("trust"),
                             QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-instructions")};
            if (!m_duravel)
                args << QStringLiteral("--no-sync");
            if (!roda(QStringLiteral("initdb"), args))
                return false;
        }
        QTcpServer livre;   // a port no one uses: the socket's name
        livre.listen(QHostAddress::LocalHost, 0);
        m_porta = livre.serverPort();
        m_iniciado = true;
    }
    QString opcoes = QStringLiteral("-p %1 -k %2 -c listen_addresses='' -c max_connections=60 -c shared_buffers=32MB "
                                    "-c deadlock_timeout=200ms")
                         .arg(m_porta)
                         .arg(m_pasta.path());
    // Extra server settings for a look inside (e.g. "-c log_min_duration_statement=5").
    opcoes += QLatin1Char(' ') + qEnvironmentVariable("ZELTO_PG_OPCOES");
    if (!m_duravel)
        opcoes += QStringLiteral(" -c fsync=off -c synchronous_commit=off -c full_page_writes=off");
    opcoes += QLatin1Char(' ') + m_opcoes;
    if (!roda(QStringLiteral("pg_ctl"), {QStringLiteral("start"), QStringLiteral("-D"), dados, QStringLiteral("-l"),
                                         m_pasta.filePath(QStringLiteral("postgres.log")), QStringLiteral("-w"), QStringLiteral("-t"),
                                         QStringLiteral("60"), QStringLiteral("-o"), opcoes}))
        return false;
    m_rodando = true;
    return true;
}

bool ClusterPostgres::para()
{
    if (!m_rodando)
        return true;
    if (!roda(QStringLiteral("pg_ctl"), {QStringLiteral("stop"), QStringLiteral("-D"), m_pasta.filePath(QStringLiteral("dados")),
                                         QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w")}))
        return false;
    m_rodando = false;
    return true;
}

bool ClusterPostgres::derruba()
{
    if (!sinaliza(SIGKILL))
        return false;
    m_rodando = false;
    // Gone once the postmaster's pid answers no more.
    QFile pid(m_pasta.filePath(QStringLiteral("dados/postmaster.pid")));
    const pid_t postmaster = pid.open(QIODevice::ReadOnly) ? pid_t(pid.readLine().trimmed().toLongLong()) : 0;
    for (int i = 0; i < 500 && postmaster > 0 && ::kill(postmaster, 0) == 0; ++i)
        ::usleep(10'000);
    return true;
}

bool ClusterPostgres::promove()
{
    return roda(QStringLiteral("pg_ctl"), {QStringLiteral("promote"), QStringLiteral("-D"), m_pasta.filePath(QStringLiteral("dados")),
                                           QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30")});
}

QString ClusterPostgres::conexao(const QString& banco) const
{
    return QStringLiteral("postgresql://zelto@/%1?host=%2&port=%3").arg(banco, m_pasta.path()).arg(m_porta);
}

bool ClusterPostgres::criaBanco(const QString& nome, const QString& codificacao)
{
    return executa(QStringLiteral("postgres"),
                   {QStringLiteral("CREATE DATABASE %1 ENCODING '%2' TEMPLATE template0 LC_COLLATE 'C' LC_CTYPE 'C'").arg(nome, codificacao)});
}

bool ClusterPostgres::executa(const QString& banco, const QStringList& comandos, QVariant* ultimo)
{
    const QString nome = QStringLiteral("cluster-teste-%1").arg(g_contador.fetchAndAddRelaxed(1));
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
        db.setHostName(m_pasta.path());
        db.setPort(m_porta);
        db.setUserName(QStringLiteral("zelto"));
        db.setDatabaseName(banco);
        ok = db.open();
        if (!ok)
            m_erro = db.lastError().text();
        for (const QString& sql : comandos) {
            if (!ok)
                break;
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok)
                m_erro = sql + QStringLiteral(": ") + q.lastError().text();
            else if (ultimo && q.next())
                *ultimo = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(nome);
    return ok;
}

QList<qint64> ClusterPostgres::processosSob(qint64 pid)
{
    QList<qint64> todos{pid};
    const QStringList lista = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QList<std::pair<qint64, qint64>> pais;   // (process, its parent)
    for (const QString& p : lista) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(p));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray linha = stat.readAll();
        // The parent is the second field after the command name (which may hold spaces).
        const QList<QByteArray> campos = linha.mid(linha.lastIndexOf(')') + 2).split(' ');
        if (campos.size() > 1)
            pais.append({p.toLongLong(), campos[1].toLongLong()});
    }
    for (qsizetype i = 0; i < todos.size(); ++i)
        for (const auto& [processo, pai] : pais)
            if (pai == todos[i] && !todos.contains(processo))
                todos << processo;
    return todos;
}

bool ClusterPostgres::sinaliza(int sinal)
{
    QFile pid(m_pasta.filePath(QStringLiteral("dados/postmaster.pid")));
    if (!pid.open(QIODevice::ReadOnly)) {
        m_erro = QStringLiteral("cluster sem postmaster.pid");
        return false;
    }
    const qint64 postmaster = pid.readLine().trimmed().toLongLong();
    const QList<qint64> processos = postmaster > 0 ? processosSob(postmaster) : QList<qint64>();
    for (qint64 p : processos)
        ::kill(pid_t(p), sinal);
    return postmaster > 0;
}
