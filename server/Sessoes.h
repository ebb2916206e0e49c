#pragma once
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class Banco;

// Who a request comes from, as far as sessions go.
struct Portador {
    QString chave;              // the connection's session (Sessoes::chaveDoSegredo); empty: none yet
    QString endereco;           // Sessoes::chave of the peer's address
    bool porEndereco = false;   // the address's shared sessions count too (plain wire, opt-in rule)
};

// A session belongs to one connection's secret, not to an address. Our client agrees on a
// session when it connects (protocol/Quadros.h, capability "sessao"): the server hands it a
// secret of 32 random bytes, the next login on that connection opens a session under it, and
// on every reconnect the client presents the secret again and is back in its session with
// no new login. Only a hash of the secret is kept (here and in the database), so neither a
// copy of the database nor the log gives a session away. A client that never agreed on
// anything (the plain wire) gets a secret it never sees: its session ends with its connection.
// Only when the administrator turns on the per-address rule are such sessions shared by every
// plain-wire connection from the same address (the original client's behaviour, and its risk).
//
// A request is served only when its connection's session belongs to an enabled operator of
// the request's department. A session ends after `expiracaoMs` without any served request,
// at log-off, and at once when its operator is disabled, removed or changes password.
//
// In the database (`noBanco`), the sessions are seen by every server on that database (times
// are then milliseconds since the epoch): a restart keeps them. The database is reached
// through the caller's own Banco (the loop and each worker have their own connection). A
// request only reads there: the idle clock it moves is kept here and written back by the
// writer thread (`gravaPendentes`) at most once per `expiracaoMs / 10` (a minute at most), so
// reading never depends on the disk taking writes. A login whose row cannot be written (a full
// or read-only disk) still opens its session: kept here, in this server's memory, under the
// connection's key, its operator checked in the database on every request, and written there
// as soon as the database takes writes again. Otherwise they live in this object alone.
//
// The server's workers and its loop use one Sessoes at once: every call takes the lock for
// what is kept in memory.
class Sessoes {
public:
    explicit Sessoes(qint64 expiracaoMs, bool noBanco = false) : m_expiracaoMs(expiracaoMs), m_noBanco(noBanco) {}

    bool noBanco() const { return m_noBanco; }

    // Opens (or takes over) the session `portador.chave` for `usuario`, whose department is
    // given; `compartilhada`: one of its address's shared sessions (per-address rule). False
    // when the database failed or the portador has no key. `banco`: the caller's connection
    // (used only when the sessions are in the database).
    bool abre(const Portador& portador, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento,
              qint64 agoraMs, Banco* banco, bool compartilhada = false);

    // The department's description when the portador may work on that department; the
    // session's idle clock starts again. In the database without `banco`: refused.
    // `usuario` (when given) gets the session's operator.
    std::optional<QString> autoriza(const Portador& portador, qint32 idDepartamento, qint64 agoraMs,
                                    Banco* banco = nullptr, QString* usuario = nullptr);

    // The department of the portador's own session (not of its address's), if it has one.
    std::optional<qint32> departamentoDa(const Portador& portador, Banco* banco);

    // The same answer as `autoriza`, without touching the session's clock. With the sessions
    // in the database this is only a hint from memory (what `autoriza` last found for that
    // session and department), good enough to decide whether a request is whole.
    std::optional<QString> consulta(const Portador& portador, qint32 idDepartamento, qint64 agoraMs) const;

    // Whether `chave` names a live session of an enabled operator; false with `erro` set when
    // the database could not tell.
    bool viva(const QString& chave, qint64 agoraMs, Banco* banco, bool& erro);
    // Ends the session `chave` (log-off, or the end of a plain-wire connection).
    bool encerra(const QString& chave, Banco* banco);
    // Called (on the caller's thread) with the operator and address of each session a
    // log-off or the end of its connection ended: the history records it.
    void defineAoEncerrar(std::function<void(const QString& usuario, const QString& endereco)> aoEncerrar)
    {
        m_aoEncerrar = std::move(aoEncerrar);
    }
    // What the database still owes the sessions kept here: the idle clocks that requests moved,
    // the rows of sessions opened while it took no writes, and the sweep of expired rows. Run
    // by the store's writer, outside any transaction; does something once a second at most,
    // and what fails is tried again on a later call.
    // `agora`: whatever the time since the last pass (the server is stopping).
    void gravaPendentes(Banco& banco, qint64 agoraMs, bool agora = false);

    qsizetype quantas() const
    {
        QMutexLocker trava(&m_mutex);
        return m_porChave.size();
    }

    // The same host whether it came over IPv4 or as an IPv4-mapped IPv6 address.
    static QString chave(const QHostAddress& endereco);
    // A new secret: 32 random bytes as 64 lower-case hex digits (no "|", "," or "@").
    static QString novoSegredo();
    // Whether a text has a secret's shape (what a client presents is checked before use).
    static bool pareceSegredo(QStringView texto);
    // The key a secret is kept under: its BLAKE2b hash, in hex.
    static QString chaveDoSegredo(QStringView segredo);

private:
    struct Sessao {
        QString usuario;
        QString endereco;
        qint32 idDepartamento = 0;
        QString dsDepartamento;
        bool compartilhada = false;
        qint64 ultimaAtividadeMs = 0;
    };
    // The idle clock moved here and not yet written to the database.
    struct Toque {
        qint64 tocadaMs = 0;
        qint64 gravadaMs = 0;
    };
    // True when a sweep is due (and marks it done).
    bool varreduraDevida(qint64 agoraMs);
    // The live session of `m_porChave` the portador works under, its clock moved; lock held.
    std::optional<Sessao> tocaNaMemoria(const Portador& portador, qint32 idDepartamento, qint64 agoraMs);
    // Whether this server moved the clock of `alvo` (a key, or "@" + an address) since `desdeMs`; lock held.
    bool tocadaDesde(const QString& alvo, qint64 desdeMs) const;
    void esquecaAsVencidas(qint64 agoraMs);
    void guardaDica(const QString& dica, const std::optional<QString>& ds);

    mutable QMutex m_mutex;
    qint64 m_expiracaoMs;
    bool m_noBanco;
    QHash<QString, QString> m_dicas;   // "key|department" -> description
    qint64 m_ultimaLimpezaMs = 0;
    qint64 m_ultimaGravacaoMs = 0;
    // The sessions themselves; in the database, only those whose row is not written yet.
    QHash<QString, Sessao> m_porChave;
    QHash<QString, Toque> m_toques;
    QSet<QString> m_encerradasAntesDeGravar;   // of `m_porChave`, ended while the writer may be writing their rows
    std::function<void(const QString&, const QString&)> m_aoEncerrar;
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
    // Takes back one charge: the attempt never reached a password check (the database failed).
    void devolve(const QString& usuario, const QHostAddress& endereco);
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
