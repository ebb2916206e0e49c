#include "ServidorReal.h"
#include "ClusterPostgres.h"
#include "Limpeza.h"

#include "server/store/EnderecoPg.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

QString ServidorReal::binario()
{
    // A benchmark may run another build of the server beside this one (the same figures, before and after).
    if (qEnvironmentVariableIsSet("ZELTO_SERVIDOR_BINARIO"))
        return qEnvironmentVariable("ZELTO_SERVIDOR_BINARIO");
#ifdef ZELTO_SERVIDOR_BINARIO
    if (QFile::exists(QStringLiteral(ZELTO_SERVIDOR_BINARIO)))
        return QStringLiteral(ZELTO_SERVIDOR_BINARIO);
#endif
    return qEnvironmentVariable("ZELTO_BINARY_DIR") + QStringLiteral("/server/zelto-server");
}

ServidorReal::ServidorReal() : ServidorReal(Conta(), 0) {}

ServidorReal::ServidorReal(int fichasDemo) : ServidorReal(Conta(), fichasDemo) {}

ServidorReal::ServidorReal(Conta conta, int fichasDemo) : ServidorReal(std::move(conta), fichasDemo, bancoDoAmbiente()) {}

ServidorReal::ServidorReal(Conta conta, int fichasDemo, Banco banco) : m_conta(std::move(conta)), m_fichasDemo(fichasDemo), m_banco(banco) {}

ServidorReal::Banco ServidorReal::bancoDoAmbiente()
{
    return qEnvironmentVariable("ZELTO_TESTE_BANCO").compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0 ? Banco::PostgreSQL
                                                                                                                    : Banco::SQLite;
}

std::unique_ptr<ServidorReal> ServidorReal::naConexao(const QString& conexao, Conta conta)
{
    auto s = std::make_unique<ServidorReal>(std::move(conta), 0,
                                            conexao.startsWith(QLatin1String("sqlite:")) ? Banco::SQLite : Banco::PostgreSQL);
    s->m_conexao = conexao;
    s->m_bancoCriado = true;
    return s;
}

std::unique_ptr<ServidorReal> ServidorReal::novoNaConexao(const QString& conexao, Conta conta, int fichasDemo)
{
    auto s = std::make_unique<ServidorReal>(std::move(conta), fichasDemo,
                                            conexao.startsWith(QLatin1String("sqlite:")) ? Banco::SQLite : Banco::PostgreSQL);
    s->m_conexao = conexao;
    return s;
}

std::unique_ptr<ServidorReal> ServidorReal::naConexao(const QString& conexao)
{
    return naConexao(conexao, Conta());
}

QString ServidorReal::conexaoDoBanco() const
{
    return m_conexao.isEmpty() ? QStringLiteral("sqlite:") + caminhoDoBanco() : m_conexao;
}

bool ServidorReal::executaNoBanco(const QStringList& comandos, QVariant* ultimo)
{
    static QAtomicInt contador;
    const QString nome = QStringLiteral("direto-%1").arg(contador.fetchAndAddRelaxed(1));
    bool ok = true;
    {
        QSqlDatabase db;
        if (m_banco == Banco::PostgreSQL) {
            // Read as the server reads it: several hosts, target_session_attrs and all.
            DestinoPg destino;
            QString porque;
            if (!leDestinoPg(conexaoDoBanco(), destino, porque)) {
                m_erro = porque;
                return false;
            }
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
            apontaPara(db, destino);
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nome);
            db.setDatabaseName(conexaoDoBanco().mid(7));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        }
        ok = db.open();
        if (!ok)
            m_erro = db.lastError().text();
        for (const QString& sql : comandos) {
            QSqlQuery q(db);
            ok = ok && q.exec(sql);
            if (!ok)
                m_erro = q.lastError().text();
            if (ok && ultimo && q.next())
                *ultimo = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(nome);
    return ok;
}

qint64 ServidorReal::fichasNoBanco()
{
    QVariant n;
    return executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas")}, &n) ? n.toLongLong() : -1;
}

ServidorReal::~ServidorReal()
{
    para();
}

QString ServidorReal::caminhoDoBanco() const
{
    return m_pasta.filePath(QStringLiteral("registro.db"));
}

QString ServidorReal::diario() const
{
    QFile f(m_pasta.filePath(QStringLiteral("servidor.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool ServidorReal::administra(const QStringList& argumentos, const QByteArray& entrada)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programa(), QStringList(argumentos) << QStringLiteral("--db") << conexaoDoBanco());
    if (!p.waitForStarted(10'000)) {
        m_erro = QStringLiteral("não foi possível executar %1: %2").arg(programa(), p.errorString());
        return false;
    }
    p.write(entrada);
    p.closeWriteChannel();
    if (!p.waitForFinished(60'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_erro = QStringLiteral("zelto-server %1 falhou: %2").arg(argumentos.join(u' '), QString::fromUtf8(p.readAll()));
        return false;
    }
    return true;
}

bool ServidorReal::adicionaConta(const Conta& conta)
{
    return administra({QStringLiteral("departamento"), QStringLiteral("--id"), QString::number(conta.idDepartamento),
                       QStringLiteral("--nome"), conta.dsDepartamento})
        && administra({QStringLiteral("operador"), QStringLiteral("--usuario"), conta.usuario, QStringLiteral("--departamento"),
                       QString::number(conta.idDepartamento), QStringLiteral("--custo-senha"), QStringLiteral("minimo")},
                      conta.senha.toUtf8() + '\n');
}

bool ServidorReal::criaBanco()
{
    if (!m_pasta.isValid()) {
        m_erro = QStringLiteral("não foi possível criar a pasta temporária");
        return false;
    }
    Limpeza::vigiaPasta(m_pasta.path());
    if (m_banco == Banco::PostgreSQL && m_conexao.isEmpty()) {
        ClusterPostgres* pg = ClusterPostgres::compartilhado();
        if (!pg) {
            m_erro = QStringLiteral("cluster PostgreSQL de teste: ") + ClusterPostgres::erroGlobal();
            return false;
        }
        const QString nome = ClusterPostgres::nomeNovo();
        if (!pg->criaBanco(nome)) {
            m_erro = pg->erro();
            return false;
        }
        m_conexao = pg->conexao(nome);
    }
    if (!administra({QStringLiteral("criar-banco")}) || !adicionaConta(m_conta))
        return false;
    if (m_fichasDemo > 0
        && !administra({QStringLiteral("gerar-fichas"), QStringLiteral("--departamento"), QString::number(m_conta.idDepartamento),
                        QStringLiteral("--quantidade"), QString::number(m_fichasDemo)}))
        return false;
    m_bancoCriado = true;
    return true;
}

bool ServidorReal::rodando() const
{
    return m_processo && m_processo->state() != QProcess::NotRunning;
}

bool ServidorReal::inicia()
{
    if (rodando())
        return true;
    if (!m_bancoCriado && !criaBanco())
        return false;
    const QString caminhoDiario = m_pasta.filePath(QStringLiteral("servidor.log"));
    m_inicioDoDiario = QFile(caminhoDiario).size();
    m_processo = std::make_unique<QProcess>();
    m_processo->setStandardOutputFile(QProcess::nullDevice());
    m_processo->setStandardErrorFile(caminhoDiario, QIODevice::Append);
    m_processo->setProcessEnvironment(m_ambiente);
    if (m_limiteDeArquivos > 0) {
        const rlim_t n = rlim_t(m_limiteDeArquivos);
        // Runs in the child between fork and exec: only async-signal-safe calls.
        Limpeza::morreComOTeste(*m_processo, [n] {
            const rlimit r{n, n};
            setrlimit(RLIMIT_NOFILE, &r);
        });
    } else {
        Limpeza::morreComOTeste(*m_processo);
    }
    m_processo->start(programa(), QStringList{QStringLiteral("servir"), QStringLiteral("--db"), conexaoDoBanco(),
                                             QStringLiteral("--listen"), QStringLiteral("%1:%2").arg(m_endereco).arg(m_portaFixa)} + m_extras);
    if (!m_processo->waitForStarted(10'000)) {
        m_erro = QStringLiteral("não foi possível executar %1: %2").arg(programa(), m_processo->errorString());
        m_processo.reset();
        return false;
    }
    // The server writes "zelto-server: ouvindo em ADDRESS:PORT" once it listens.
    const QRegularExpression ouvindo(QStringLiteral("zelto-server: ouvindo em %1:(\\d+)").arg(QRegularExpression::escape(m_endereco)));
    const QDeadlineTimer prazo(15'000);
    while (!prazo.hasExpired()) {
        QFile f(caminhoDiario);
        if (f.open(QIODevice::ReadOnly) && f.seek(m_inicioDoDiario)) {
            const auto achado = ouvindo.match(QString::fromUtf8(f.readAll()));
            if (achado.hasMatch()) {
                m_porta = quint16(achado.captured(1).toUInt());
                return true;
            }
        }
        if (m_processo->waitForFinished(20)) {
            m_erro = QStringLiteral("o servidor terminou ao iniciar: %1").arg(diario());
            m_processo.reset();
            return false;
        }
    }
    m_erro = QStringLiteral("o servidor não começou a atender em 15 s: %1").arg(diario());
    mata();
    return false;
}

void ServidorReal::para()
{
    if (!m_processo)
        return;
    if (m_processo->state() != QProcess::NotRunning) {
        m_processo->terminate();
        if (!m_processo->waitForFinished(5'000)) {
            m_processo->kill();
            m_processo->waitForFinished(5'000);
        }
    }
    m_processo.reset();
    m_porta = 0;
}

void ServidorReal::mata()
{
    if (!m_processo)
        return;
    if (m_processo->state() != QProcess::NotRunning) {
        m_processo->kill();
        m_processo->waitForFinished(5'000);
    }
    m_processo.reset();
    m_porta = 0;
}

bool ServidorReal::reiniciaNaMesmaPorta()
{
    const quint16 porta = m_porta;
    para();
    m_portaFixa = porta;
    const bool ok = inicia();
    m_portaFixa = 0;
    return ok;
}

bool ServidorReal::reinicia()
{
    para();
    return inicia();
}
