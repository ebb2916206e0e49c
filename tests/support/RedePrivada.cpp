// A network of this test's own (see RedePrivada.h).
#include "RedePrivada.h"

#include <QProcess>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString ip(const QStringList& argumentos)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ip"), argumentos);
    if (!p.waitForFinished(10'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("ip %1: %2").arg(argumentos.join(u' '), p.error() == QProcess::FailedToStart
                                                                          ? QStringLiteral("o comando ip não está instalado")
                                                                          : QString::fromUtf8(p.readAll()).trimmed());
    return {};
}

} // namespace

RedePrivada::RedePrivada()
{
    m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_original < 0) {
        m_erro = QStringLiteral("sem /proc/thread-self/ns/net: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        m_erro = QStringLiteral("não foi possível criar uma rede própria (unshare: %1; é preciso ser root)")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const QString cliente = enderecoDoCliente() + QStringLiteral("/24"), servidor = enderecoDoServidor() + QStringLiteral("/24");
    const QList<QStringList> passos{
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
        {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("zelto0"), QStringLiteral("type"), QStringLiteral("veth"),
         QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("zelto1")},
        {QStringLiteral("addr"), QStringLiteral("add"), cliente, QStringLiteral("dev"), QStringLiteral("zelto0")},
        {QStringLiteral("addr"), QStringLiteral("add"), servidor, QStringLiteral("dev"), QStringLiteral("zelto1")},
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("zelto0"), QStringLiteral("up")},
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("zelto1"), QStringLiteral("up")},
    };
    for (const QStringList& passo : passos)
        if (m_erro = ip(passo); !m_erro.isEmpty())
            return;
}

RedePrivada::~RedePrivada()
{
    if (m_original < 0)
        return;
    ::setns(m_original, CLONE_NEWNET);
    ::close(m_original);
}
