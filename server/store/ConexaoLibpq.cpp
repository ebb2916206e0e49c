// The libpq connection under a QPSQL one (see ConexaoLibpq.h).
#include "server/store/ConexaoLibpq.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

PGconn* conexaoLibpq(const QSqlDatabase& banco)
{
    if (!banco.isOpen() || !banco.driver())
        return nullptr;
    const QVariant h = banco.driver()->handle();
    if (qstrcmp(h.typeName(), "pg_conn*") != 0 && qstrcmp(h.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}

QString hostDaConexao(const QSqlDatabase& banco)
{
    PGconn* c = conexaoLibpq(banco);
    return c ? QString::fromUtf8(PQhost(c)) + u':' + QString::fromUtf8(PQport(c)) : QString();
}
