#pragma once
#include <QHash>
#include <QMutex>
#include <QString>

#include <algorithm>

#include <memory>

// What a server process may hold at once, and the small bookkeeping behind its limits.

namespace Limites {

// Raises the soft limit of open files to the hard limit. Returns the soft limit in force
// afterwards (0 when it cannot be read).
qint64 elevaLimiteDeArquivos();

// Files this process has open now (0 when it cannot tell).
qint64 arquivosAbertos();

// Connections one process may keep open with `arquivos` open files: a reserve stays for the
// database connections (`conexoesAoBanco`, each with a few files), the listening socket, the
// log and whatever else the process opens.
int tetoDeConexoes(qint64 arquivos, int conexoesAoBanco);

} // namespace Limites

// A token bucket per address: `rajada` attempts at once, then `porMinuto` a minute. Buckets
// that have filled up again are forgotten, so the table holds only the addresses that are
// busy right now.
class BaldeDeLogins {
public:
    BaldeDeLogins(int rajada, int porMinuto) : m_rajada(rajada), m_porMinuto(porMinuto) {}

    // Takes one token; false when the address has none left.
    bool tira(const QString& endereco, qint64 agoraMs);
    // Gives back the token of an attempt that turned out right.
    void devolve(const QString& endereco, qint64 agoraMs);
    qsizetype enderecos() const { return m_baldes.size(); }

private:
    struct Balde {
        double fichas = 0;
        qint64 ultimaMs = 0;
    };
    void enche(Balde& b, qint64 agoraMs) const;

    int m_rajada;
    int m_porMinuto;
    qint64 m_ultimaLimpezaMs = 0;
    QHash<QString, Balde> m_baldes;
};

// At most one log line a second for each kind of limit hit, with the count of those not
// written: a flood must not flood the log too.
class AvisosDeLimite {
public:
    // True when the line for `tipo` should be written now; `omitidos` gets how many of that
    // kind were left out since the last line.
    bool pode(const QString& tipo, qint64 agoraMs, qint64& omitidos);

private:
    struct Aviso {
        qint64 ultimoMs = -1'000'000;
        qint64 omitidos = 0;
    };
    QHash<QString, Aviso> m_avisos;
};

// Password checks waiting or under way, in all and per address. Slots are taken by the
// server's loop and given back by whichever thread finishes the check (a `Vaga` ends).
class FilaDeSenhas {
public:
    FilaDeSenhas(int total, int porEndereco) : m_maximo(total), m_maximoPorEndereco(porEndereco) {}

    // False (nothing taken) when the queue, or this address's share of it, is full.
    bool entra(const QString& endereco);
    void sai(const QString& endereco);
    int total() const;

    // Holds one slot until it is destroyed.
    class Vaga {
    public:
        Vaga(std::shared_ptr<FilaDeSenhas> fila, QString endereco) : m_fila(std::move(fila)), m_endereco(std::move(endereco)) {}
        ~Vaga() { m_fila->sai(m_endereco); }
        Vaga(const Vaga&) = delete;
        Vaga& operator=(const Vaga&) = delete;

    private:
        std::shared_ptr<FilaDeSenhas> m_fila;
        QString m_endereco;
    };

private:
    mutable QMutex m_mutex;
    int m_maximo;
    int m_maximoPorEndereco;
    int m_total = 0;
    QHash<QString, int> m_porEndereco;
};

// How large a request may grow on a connection. A login is small. Our client comes back into
// its session before its next request (a live secret counts as logged in). The original client,
// under the per-address rule, sends whatever it was sending (a sheet with long texts) on a new
// connection straight away: an address that logged in lately keeps the full size then.
class TamanhoDoPedido {
public:
    TamanhoDoPedido(qsizetype maior, qsizetype semLogin, bool porEndereco, qint64 sessaoMs)
        : m_maior(maior), m_semLogin(std::min(semLogin, maior)), m_porEndereco(porEndereco), m_sessaoMs(sessaoMs) {}

    // A connection from `endereco` logged in.
    void entrou(const QString& endereco, qint64 agoraMs);
    qsizetype maximo(bool autenticada, const QString& endereco, qint64 agoraMs) const;

private:
    qsizetype m_maior;
    qsizetype m_semLogin;
    bool m_porEndereco;
    qint64 m_sessaoMs;
    QHash<QString, qint64> m_enderecosComLogin;   // address -> when a connection of it last logged in
};
