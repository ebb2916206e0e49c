#pragma once
#include "server/Cadastro.h"
#include "server/Enquadramento.h"
#include "server/Limites.h"
#include "server/Sessoes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <list>
#include <memory>

class Banco;
class Oficina;
class QTcpServer;
class QTcpSocket;
class QTimer;

// The registry server: accepts connections, greets each with "2", finds the requests in
// what arrives, answers each with one reply, and never answers a keep-alive.
//
// The loop only reads, frames and writes. The store's work runs on the workers of an
// Oficina (a writer that commits the changes queued so far as one batch, readers for
// searches and login look-ups, each with its own database connection); password checks run
// on a small pool of their own. A connection has at most one request in the works, so its
// replies leave in the order of its requests. A long search reply is read from the store and
// written in bounded pieces, the reader waiting whenever the connection has more than a few
// pieces not yet sent: memory stays bounded, and other connections are served meanwhile.
//
// A client may agree on framed messages and on a session of its own right after the
// greeting (protocol/Quadros.h); a client that does not ask gets the plain wire, byte for
// byte, and a session that lasts as its connection (see Sessoes). A connection without a
// session gets 0 for everything but the login.
class Servidor : public QObject {
    Q_OBJECT
public:
    struct Opcoes {
        QHostAddress endereco = QHostAddress::LocalHost;
        quint16 porta = 9998;
        // Quiet after the last piece of a request begins, when that piece might still be
        // growing (a request ending on its department's whole description is served at once).
        int silencioMs = 2;
        int esperaIncompletaMs = 300;    // quiet after which a request still missing pieces is refused
        qint64 sessaoMs = 12LL * 3600'000;
        qsizetype maiorPedido = 1 << 20;
        int filaDeConexoes = 1024;       // listen backlog: connections the system holds before we accept them
        int leitores = 2;                // reader workers (each one database connection)
        qsizetype pedacoDeResposta = 256 << 10;   // a long reply is written in pieces of about this size
        qsizetype emTransito = 2 << 20;           // most bytes of one reply read but not yet sent
        // The original client's rule, for offices that still run it: a plain-wire login opens
        // a session for its whole address (every program there, or behind the same NAT, is
        // then that operator until the session expires). Off: it lasts as its connection.
        bool sessaoPorEndereco = false;

        // What one client can take from the others. Logged in = a login accepted on the
        // connection, a live session resumed with its secret, or a request served under one.
        int limiteDeConexoes = 0;          // open connections at most; 0 = from the open-file limit
        int conexoesPorEndereco = 64;      // open connections from one address at most
        int semLoginMs = 60'000;           // a connection not logged in is closed after this (keep-alives do not count)
        qint64 ociosaMs = 2 * 3600'000LL;  // a logged-in connection is closed after this without messages
        qsizetype maiorPedidoSemLogin = 16 << 10;   // unfinished request a connection not logged in may hold
        int filaDeSenhas = 16;             // password checks waiting or under way at most
        int senhasPorEndereco = 2;         // of those, from one address
        int rajadaDeLogins = 20;           // login attempts one address may make at once
        int loginsPorMinuto = 20;          // and then a minute
    };

    Servidor(Banco& armazem, Opcoes opcoes, QObject* pai = nullptr);
    ~Servidor() override;

    // Starts the workers and listens; false (with `erro`) when either fails.
    bool escuta(QString& erro);
    QHostAddress enderecoOuvindo() const;
    quint16 portaOuvindo() const;

    struct Vazao;

private:
    struct Conexao;

    void aceita();
    void erroAoAceitar();
    bool fechaMaisAntigaSemLogin();
    void esquece(Conexao* c);
    void ociosa(Conexao* c);
    void autenticou(Conexao* c);
    qsizetype maiorPedidoDe(const Conexao* c) const;
    void avisa(const QString& tipo, const QString& linha);
    void chegaram(Conexao* c);
    void chegaramEmQuadros(Conexao* c, QByteArrayView novos);
    void silencio(Conexao* c);
    bool terminaNaDescricao(const Conexao* c, const Enquadramento::Analise& a) const;
    void examina(Conexao* c);
    void proximaEmQuadros(Conexao* c);
    void atendePedido(Conexao* c, int codigo, QByteArray pedido);
    bool negocia(Conexao* c);
    void atendeBusca(Conexao* c, QByteArray pedido);
    void atendeLogin(Conexao* c, const QByteArray& bytes);
    void loginConferido(QPointer<QTcpSocket> socket, QString usuario, std::optional<Departamento> dep, qint64 chegouNs);
    void escrevePedaco(QPointer<QTcpSocket> socket, QByteArray bytes);
    void responde(QTcpSocket* socket, int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs);
    void falhaNoMeio(QTcpSocket* socket, int codigoPedido, const QString& desfecho, qint64 chegouNs);
    void registraResposta(Conexao* c, int codigoPedido, QByteArrayView codigo, const QString& desfecho, qint64 chegouNs);
    void libera(Conexao* c);
    void escreve(Conexao* c, QByteArrayView bytes);
    Conexao* conexaoDe(QTcpSocket* socket) const;
    Portador portadorDe(const Conexao* c) const;
    // Wall-clock time: sessions are shared with other servers through the database.
    static qint64 agoraMs();

    Banco& m_armazem;
    Opcoes m_opcoes;
    QTcpServer* m_servidor;
    Sessoes m_sessoes;
    TentativasDeLogin m_tentativas;
    QElapsedTimer m_relogio;
    QThreadPool m_conferencias;
    std::unique_ptr<Oficina> m_oficina;
    QList<std::shared_ptr<Vazao>> m_vazoes;   // the long replies under way

    // Resource limits.
    int m_tetoDeConexoes = 0;
    int m_abertas = 0;
    QHash<QString, int> m_porEndereco;             // open connections per address
    std::list<Conexao*> m_semLogin;                // not logged in, oldest first
    QHash<QString, qint64> m_enderecosComLogin;    // address -> when a connection of it last logged in
    std::shared_ptr<FilaDeSenhas> m_filaDeSenhas;  // shared with the checks under way
    BaldeDeLogins m_baldes;
    AvisosDeLimite m_avisos;
    bool m_aceitarPausado = false;
};

// One line on standard error: an ISO 8601 UTC timestamp, the program's name, the text with
// every control character escaped (so one event is always one line).
void registraNoDiario(const QString& linha);
