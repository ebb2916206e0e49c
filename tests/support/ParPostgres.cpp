#include "ParPostgres.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QVariant>

ParPostgres::ParPostgres()
{
    // A commit waits for the standby; the primary's cluster is durable enough for a crash of
    // its processes (the host's own page cache stays), so fsync may stay off.
    m_primario.defineOpcoes(QStringLiteral("-c synchronous_commit=on -c synchronous_standby_names='*' -c wal_level=replica"));
    // Promoted, the standby stands alone: it waits for no standby of its own.
    m_reserva.defineOpcoes(QStringLiteral("-c synchronous_commit=on -c cluster_name=reserva"));
    m_reserva.segue(m_primario);
}

bool ParPostgres::inicia()
{
    if (!m_primario.inicia()) {
        m_erro = QStringLiteral("primário: ") + m_primario.erro();
        return false;
    }
    if (!m_reserva.inicia()) {
        m_erro = QStringLiteral("reserva: ") + m_reserva.erro();
        return false;
    }
    const QDeadlineTimer prazo(30'000);
    while (!prazo.hasExpired()) {
        if (valor(m_primario, QStringLiteral("postgres"), QStringLiteral("SELECT sync_state FROM pg_stat_replication")) == QLatin1String("sync"))
            return true;
        QThread::msleep(50);
    }
    m_erro = QStringLiteral("a reserva não ficou síncrona em 30 s");
    return false;
}

QString ParPostgres::conexao(const QString& banco) const
{
    return QStringLiteral("postgresql://zelto@/%1?host=%2,%3&port=%4,%5&target_session_attrs=read-write")
        .arg(banco, m_primario.pasta(), m_reserva.pasta())
        .arg(m_primario.porta())
        .arg(m_reserva.porta());
}

QString ParPostgres::valor(ClusterPostgres& cluster, const QString& banco, const QString& sql)
{
    QVariant v;
    if (!cluster.executa(banco, {sql}, &v)) {
        m_erro = cluster.erro();
        return QString();
    }
    return v.toString();
}
