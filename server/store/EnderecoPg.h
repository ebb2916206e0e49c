#pragma once
// Reading a PostgreSQL connection text the way libpq reads it, by libpq itself
// (PQconninfoParse): a URI, "postgresql://USER@HOST1:PORT1,HOST2:PORT2/DATABASE?OPTIONS"
// ("postgres://" too), or "key=value" words; several hosts, service=, sslmode, passfile,
// target_session_attrs and every other libpq option. What comes out is the text QPSQL hands
// to libpq, with the server's time-outs and keepalives added where the text sets none, and
// the same text without its password for messages. Without a password libpq looks in
// PGPASSWORD, PGPASSFILE or ~/.pgpass.
#include <QSqlDatabase>
#include <QString>

// The parts of a URI. The user part is cut at the last "@" by hand, so a password with
// "@", "/", "#" or "?" in it is still found whole (and never ends up in a message).
struct EnderecoPg {
    QString esquema, usuario, senha, senhaCrua, resto;
    bool temSenha = false;

    static EnderecoPg separa(const QString& conexao);
    // The text without its password (given after the user or as an option).
    QString semSenha() const;
};

// Where to connect, as QPSQL takes it.
struct DestinoPg {
    QString opcoes;          // libpq's key='value' words joined by ";", the text's own after the time-outs
    bool temSenha = false;   // the text carries a password
};

// Whether `conexao` is meant for PostgreSQL: a postgres(ql):// URI or libpq's key=value words.
bool ehConexaoPg(const QString& conexao);

// False, with the reason in `erro` (libpq's own, in a message of ours, without the password),
// when libpq does not take the text or QPSQL could not pass it on.
bool leDestinoPg(const QString& conexao, DestinoPg& destino, QString& erro);

// The connection text without its password, for messages and the log.
QString descricaoPg(const QString& conexao);

// Points a QPSQL connection at `destino`.
void apontaPara(QSqlDatabase& db, const DestinoPg& destino);
