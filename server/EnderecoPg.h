#pragma once
// Reading a PostgreSQL connection text, "postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE[?options]"
// ("postgres://" too): where to connect, as QPSQL takes it, and the same text without its
// password for messages. Without a password libpq looks in PGPASSWORD, PGPASSFILE or ~/.pgpass.
// Only the libpq options listed in EnderecoPg.cpp are accepted after "?"; "host" may name the
// folder of a Unix socket.
#include <QSqlDatabase>
#include <QString>

#include <optional>

// The parts of the text. The user part is cut at the last "@" by hand, so a password with
// "@", "/", "#" or "?" in it is still read whole (and never ends up in a message).
struct EnderecoPg {
    QString esquema, usuario, senha, resto;
    bool temSenha = false;

    static EnderecoPg separa(const QString& conexao);
    // The text without its password (given after the user or as an option).
    QString semSenha() const;
};

// Where to connect, as QPSQL takes it.
struct DestinoPg {
    QString host;
    int porta = -1;               // not set when not above 0
    QString usuario;
    std::optional<QString> senha;
    QString banco;
    QString opcoes;               // libpq options joined by ";", the time-outs first
};

// False, with the reason in `erro` (without the password), when the text is not a database
// address or carries an option not accepted.
bool leDestinoPg(const QString& conexao, DestinoPg& destino, QString& erro);

// Points a QPSQL connection at `destino`.
void apontaPara(QSqlDatabase& db, const DestinoPg& destino);
