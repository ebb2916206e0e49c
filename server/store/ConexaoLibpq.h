#pragma once
// The libpq connection under a QPSQL one, for what Qt's driver does not offer: the socket
// (VigiaDoBanco), the host it reached, the server's warnings (Banco).
#include <QSqlDatabase>
#include <QString>

typedef struct pg_conn PGconn;

// Null when `banco` is not an open PostgreSQL connection.
PGconn* conexaoLibpq(const QSqlDatabase& banco);
// "HOST:PORT" of the server the connection reached (a host may be a socket's folder).
QString hostDaConexao(const QSqlDatabase& banco);
