#pragma once
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <optional>

class Armazem;

// The client reconnects without logging in again and its requests carry no token, so a
// successful login opens a session for the client's address. A request is served only when
// its address holds a live session with an operator of the request's department. A session
// ends after `expiracaoMs` without any served request.
//
// Given an Armazem, the sessions live in its database (times are then milliseconds since
// the epoch): every server on that database honours them, a restart keeps them, and
// disabling an operator, removing one or changing the password ends them at once. The
// idle clock in the database is moved at most once per `expiracaoMs / 10` (a minute at
// most), so that a busy address does not write at every request. Without one they live in
// this object alone.
class Sessoes {
public:
    explicit Sessoes(qint64 expiracaoMs, Armazem* armazem = nullptr) : m_expiracaoMs(expiracaoMs), m_armazem(armazem) {}

    void abre(const QHostAddress& endereco, qint32 idDepartamento, const QString& dsDepartamento, qint64 agoraMs);
    // The session of `usuario`, whose department is given; false when the database failed.
    bool abre(const QHostAddress& endereco, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento, qint64 agoraMs);

    // The department's description when the address may work on that department; the
    // session's idle clock starts again.
    std::optional<QString> autoriza(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs);

    // The same answer as `autoriza`, without touching the session's clock. With the sessions
    // in the database this is only a hint from memory (what `autoriza` last found for that
    // address and department), good enough to decide whether a request is whole.
    std::optional<QString> consulta(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs) const;

    qsizetype quantas() const { return m_porEndereco.size(); }

    // The same host whether it came over IPv4 or as an IPv4-mapped IPv6 address.
    static QString chave(const QHostAddress& endereco);

private:
    struct Sessao {
        QHash<qint32, QString> departamentos;
        qint64 ultimaAtividadeMs = 0;
    };
    void esquecaAsVencidas(qint64 agoraMs);

    qint64 m_expiracaoMs;
    Armazem* m_armazem;
    QHash<QString, QString> m_dicas;   // "address|department" -> description
    qint64 m_ultimaLimpezaMs = 0;
    QHash<QString, Sessao> m_porEndereco;
};

// Failed logins for one user name from one address: the first few are free, then each
// further failure locks that pair out for a time that doubles up to a ceiling. A success
// clears the count. Attempts are charged before the (slow) password check, so parallel
// connections cannot try more passwords than the rule allows.
class TentativasDeLogin {
public:
    TentativasDeLogin(int livres = 5, qint64 bloqueioInicialMs = 30'000, qint64 bloqueioMaximoMs = 15 * 60'000)
        : m_livres(livres), m_bloqueioInicialMs(bloqueioInicialMs), m_bloqueioMaximoMs(bloqueioMaximoMs) {}

    bool bloqueado(const QString& usuario, const QHostAddress& endereco, qint64 agoraMs) const;
    void cobra(const QString& usuario, const QHostAddress& endereco, qint64 agoraMs);
    void acertou(const QString& usuario, const QHostAddress& endereco);

private:
    struct Registro {
        int falhas = 0;
        qint64 liberadoEmMs = 0;
        qint64 ultimaMs = 0;
    };
    static QString chave(const QString& usuario, const QHostAddress& endereco);

    int m_livres;
    qint64 m_bloqueioInicialMs;
    qint64 m_bloqueioMaximoMs;
    QHash<QString, Registro> m_registros;
};
