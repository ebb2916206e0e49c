#include "ServidorCups.h"
#include "Limpeza.h"
#include "app/BibliotecaCups.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace {

QString achaPrograma(const QString& nome)
{
    const QString achado = QStandardPaths::findExecutable(nome);
    if (!achado.isEmpty())
        return achado;
    return QStandardPaths::findExecutable(nome, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

bool grava(const QString& caminho, const QString& texto)
{
    QFile f(caminho);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(texto.toUtf8()) == texto.toUtf8().size();
}

// The device of the queues that go wrong: "zelto:para" stops its queue (CUPS_BACKEND_STOP),
// anything else fails the job (CUPS_BACKEND_FAILED). Without arguments CUPS asks what it finds.
const char* const dispositivo = R"(#!/bin/sh
[ $# -eq 0 ] && exit 0
case "$DEVICE_URI" in
  zelto:para) echo "ERROR: %1" >&2; exit 4 ;;
  *) echo "ERROR: Falha de comunicação com a impressora" >&2; exit 1 ;;
esac
)";

} // namespace

ServidorCups::ServidorCups() = default;

ServidorCups::~ServidorCups()
{
    para();
}

bool ServidorCups::inicia()
{
    const QString cupsd = achaPrograma(QStringLiteral("cupsd"));
    if (cupsd.isEmpty() || achaPrograma(QStringLiteral("lpadmin")).isEmpty()) {
        m_erro = QStringLiteral("cupsd/lpadmin não instalados (pacotes cups-daemon e cups-client)");
        return false;
    }
    if (!m_pasta.isValid()) {
        m_erro = QStringLiteral("pasta temporária indisponível");
        return false;
    }
    const QString base = m_pasta.path();
    for (const char* sub : {"spool", "tmp", "cache", "state", "log"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    // Everything the daemon writes stays in the folder; queues are plain /dev/null files.
    if (!montaProgramas(base))
        return false;
    const QString arquivos = QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\n"
                                            "CacheDir %1/cache\nStateDir %1/state\nServerBin %1/bin\n"
                                            "DataDir /usr/share/cups\nAccessLog %1/log/access_log\n"
                                            "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                                            "Printcap %1/printcap\nFileDevice Yes\n")
                                 .arg(base);
    const QString servidor = QStringLiteral("Listen %1\nLogLevel info\nBrowsing Off\nWebInterface No\n"
                                            "DefaultAuthType None\n"
                                            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                            "</Policy>\n")
                                 .arg(soquete());
    if (!grava(base + QStringLiteral("/cups-files.conf"), arquivos) || !grava(base + QStringLiteral("/cupsd.conf"), servidor)) {
        m_erro = QStringLiteral("não foi possível gravar a configuração do cupsd");
        return false;
    }

    m_processo = std::make_unique<QProcess>();
    m_processo->setProcessChannelMode(QProcess::MergedChannels);
    m_processo->setStandardOutputFile(base + QStringLiteral("/log/saida"));
    Limpeza::morreComOTeste(*m_processo);
    Limpeza::vigiaPasta(m_pasta.path());
    m_processo->start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), base + QStringLiteral("/cupsd.conf"),
                              QStringLiteral("-s"), base + QStringLiteral("/cups-files.conf")});
    if (!m_processo->waitForStarted(5000)) {
        m_erro = QStringLiteral("cupsd não iniciou: ") + m_processo->errorString();
        m_processo.reset();
        return false;
    }
    const QDeadlineTimer prazo(10000);
    while (!QFileInfo(soquete()).exists()) {
        if (m_processo->state() != QProcess::Running || prazo.hasExpired()) {
            m_erro = QStringLiteral("cupsd não abriu o soquete: ") + diario().right(600);
            para();
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

// CUPS's own programs, and a backend folder that adds our device to the installed ones.
bool ServidorCups::montaProgramas(const QString& base)
{
    const QDir instalados(QStringLiteral("/usr/lib/cups"));
    QDir bin(base + QStringLiteral("/bin"));
    if (!bin.mkpath(QStringLiteral("backend"))) {
        m_erro = QStringLiteral("não foi possível criar a pasta dos programas do cupsd");
        return false;
    }
    for (const QString& pasta : instalados.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pasta != QLatin1String("backend"))
            QFile::link(instalados.filePath(pasta), bin.filePath(pasta));
    }
    const QDir backends(instalados.filePath(QStringLiteral("backend")));
    for (const QString& b : backends.entryList(QDir::Files | QDir::NoDotAndDotDot))
        QFile::link(backends.filePath(b), bin.filePath(QStringLiteral("backend/") + b));
    // Owner-only, as cupsd demands of a device it runs as root.
    const QString zelto = bin.filePath(QStringLiteral("backend/zelto"));
    if (!grava(zelto, QString::fromUtf8(dispositivo).arg(motivoDaParada()))
        || !QFile::setPermissions(zelto, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        m_erro = QStringLiteral("não foi possível gravar o dispositivo de teste");
        return false;
    }
    return true;
}

void ServidorCups::para()
{
    if (!m_processo)
        return;
    if (m_processo->state() != QProcess::NotRunning) {
        m_processo->terminate();
        if (!m_processo->waitForFinished(5000)) {
            m_processo->kill();
            m_processo->waitForFinished(2000);
        }
    }
    m_processo.reset();
}

bool ServidorCups::administra(const QString& programa, const QStringList& argumentos)
{
    QProcess p;
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("CUPS_SERVER"), soquete());
    p.setProcessEnvironment(ambiente);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(achaPrograma(programa), argumentos);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_erro = QStringLiteral("%1 %2: %3").arg(programa, argumentos.join(u' '), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool ServidorCups::criaFila(const QString& nome, Estado estado, bool padrao)
{
    const QString dispositivo = estado == Para       ? QStringLiteral("zelto:para")
                                : estado == Abandona ? QStringLiteral("zelto:falha")
                                                     : QStringLiteral("file:///dev/null");
    QStringList argumentos{QStringLiteral("-p"), nome, QStringLiteral("-E"), QStringLiteral("-v"), dispositivo};
    if (estado == Abandona)
        argumentos << QStringLiteral("-o") << QStringLiteral("printer-error-policy=abort-job");
    if (estado == Segura)
        argumentos << QStringLiteral("-o") << QStringLiteral("job-hold-until-default=indefinite");
    if (!administra(QStringLiteral("lpadmin"), argumentos))
        return false;
    if (padrao && !administra(QStringLiteral("lpadmin"), {QStringLiteral("-d"), nome}))
        return false;
    if (estado == Recusa)
        return administra(QStringLiteral("cupsreject"), {nome});
    if (estado == Retem)
        return administra(QStringLiteral("cupsdisable"), {nome});
    return true;
}

QStringList ServidorCups::titulosDaFila(const QString& nome)
{
    QStringList titulos;
    for (const Trabalho& t : trabalhosDaFila(nome))
        titulos.append(t.titulo);
    return titulos;
}

QList<ServidorCups::Trabalho> ServidorCups::trabalhosDaFila(const QString& nome)
{
    QList<Trabalho> lista;
    const BibliotecaCups::Funcoes* cups = BibliotecaCups::funcoes(&m_erro);
    if (!cups)
        return lista;
    const QByteArray caminho = QFile::encodeName(soquete());
    http_t* http =
        cups->httpConnect2(caminho.constData(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr);
    if (!http)
        return lista;
    cups_job_t* trabalhos = nullptr;
    const int n = cups->cupsGetJobs2(http, &trabalhos, nome.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < n; ++i)
        lista.append({QString::fromUtf8(trabalhos[i].title), int(trabalhos[i].state)});
    cups->cupsFreeJobs(n, trabalhos);
    cups->httpClose(http);
    return lista;
}

QString ServidorCups::diario() const
{
    QFile f(m_pasta.filePath(QStringLiteral("log/error_log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}
