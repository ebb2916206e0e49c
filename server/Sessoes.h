#pragma once
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QString>
#include <optional>

class Armazem;

// The client reconnects without logging in again and its requests carry no token, so a
// successful login opens a session for the client's address. A request is served only when
// its address holds a live session with an operator of the request's department. A session
// ends after `expiracaoMs` without any served request.
//
// In the database (`noBanco`), the sessions are seen by every server on that database (times
// are then milliseconds since the epoch): a restart keeps them, and disabling an operator,
// removing one or changing the password ends them at once. The database is reached through
// the caller's own Armazem (the loop and each worker have their own connection), and the idle
// clock there is moved at most once per `expiracaoMs / 10` (a minute at most), so that a busy
// address does not write at every request. Otherwise they live in this object alone.
//
// The server's workers and its loop use one Sessoes at once: every call takes the lock for
// what is kept in memory.
class Sessoes {
public:
    explicit Sessoes(qint64 expiracaoMs, bool noBanco = false) : m_expiracaoMs(expiracaoMs), m_noBanco(noBanco) {}

    bool noBanco() const { return m_noBanco; }

    void abre(const QHostAddress& endereco, qint32 idDepartamento, const QString& dsDepartamento, qint64 agoraMs);
    // The session of `usuario`, whose department is given; false when the database failed.
    // `armazem` is the caller's connection (used only when the sessions are in the database).
    bool abre(const QHostAddress& endereco, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento,
              qint64 agoraMs, Armazem* armazem);

    // The department's description when the address may work on that department; the
    // session's idle clock starts again. In the database without `armazem`: refused.
    std::optional<QString> autoriza(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs,
                                    Armazem* armazem = nullptr);

    // The same answer as `autoriza`, without touching the session's clock. With the sessions
    // in the database this is only a hint from memory (what `autoriza` last found for that
    // address and department), good enough to decide whether a request is whole.
    std::optional<QString> consulta(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs) const;

    qsizetype quantas() const
    {
        QMutexLocker trava(&m_mutex);
        return m_porEndereco.size();
    }

    // The same host whether it came over IPv4 or as an IPv4-mapped IPv6 address.
    static QString chave(const QHostAddress& endereco);

private:
    struct Sessao {
        QHash<qint32, QString> departamentos;
        qint64 ultimaAtividadeMs = 0;
    };
    // True when a sweep is due (and marks it done).
    bool varreduraDevida(qint64 agoraMs);
    void esquecaAsVencidas(qint64 agoraMs);
    void guardaDica(const QString& dica, const std::optional<QString>& ds);

    mutable QMutex m_mutex;
    qint64 m_expiracaoMs;
    bool m_noBanco;
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
