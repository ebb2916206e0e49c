#pragma once
// The client's one connection to the registry server: the socket, the agreement made as it
// opens (framing, session, encryption), the session's secret, the keep-alive, and the
// reading of replies, framed or plain (with the plain wire's out-of-step check).
#include "connection/Espera.h"
#include "protocol/Compressao.h"
#include "protocol/Quadros.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QSslSocket>
#include <QString>

class QTimer;

// Owned by the login window, which says where to connect (its boxes) and shows what goes
// wrong; the request cycle (connection/Requisicao.h) sends through it and listens to it while
// it waits. The agreement is offered as the connection opens and read in negocia() (inside
// TLS, ahead of the first reply, in recebe()); what it grants is taken in aplicaAcordo().
class Conexao : public CanalDaEspera {
    Q_OBJECT
public:
    // How an attempt to connect ended.
    enum class Resultado {
        Conectada,     // accepted ("2") and the agreement made (or the server takes no part)
        SemResposta,   // nothing within the time-out (tempoEsgotado is set)
        Recusada,      // a first message other than "2"
        Interrompida,  // it failed meanwhile and that was reported already
        NaoConfiavel,  // the server is not the one trusted, or would not encrypt (motivoDaRecusa)
    };

    explicit Conexao(QObject* parent = nullptr);
    ~Conexao() override;

    // The socket (named "wskClient"): a TLS-capable socket, plain until the server agrees to encrypt.
    QTcpSocket* socket() const { return m_socket; }
    // The keep-alive (named "timerKeepAlive"): its interval is the owner's setting, 0 = none.
    QTimer* keepAlive() const { return m_keepAlive; }

    bool conectada() const;
    // Opens a connection to host:porta, waits (with `timerTimeOut`) for the server's
    // acceptance and makes the agreement; on success the keep-alive runs. The caller has
    // closed the previous connection and reports what went wrong. Raises ErroDeExecucao when
    // the first reply's code is not a number.
    Resultado conecta(const QString& host, quint16 porta, QTimer* timerTimeOut);
    // When the connection is down, asks the owner to connect (pedeConexao).
    void conectaSePreciso();
    // Closes the connection (and stops the keep-alive) when it is not closed.
    void encerra() override;
    // Sends one whole message (Windows-1252), right before the caller's wait.
    void envia(const QString& mensagem);

    // Why the last attempt ended NaoConfiavel: the text of the operator's box.
    const QString& motivoDaRecusa() const { return m_motivoDaRecusa; }
    // The connection runs inside TLS, with a server certificate the client trusts.
    bool cifrada() const { return m_cifrada; }

    // The connection agreed on framed messages with the server (protocol/Quadros.h): replies
    // end where their bytes say, with no quiet interval.
    bool enquadrada() const override { return m_enquadrada; }
    // The server agreed to show sheets' histories (protocol/Historico.h) on its last agreement.
    bool ofereceHistorico() const { return m_historico; }
    // It agreed to tell a desk's copy the changes since a number and to take changes queued
    // while disconnected (protocol/Sincronia.h): asked only when the deployment works disconnected.
    bool ofereceSincronia() const { return m_sincronia; }
    // It also agreed that long replies may come packed (protocol/Compressao.h).
    bool empacotada() const { return m_empacotada; }
    // The wait took the last reply by the quiet rule (from then on, more bytes are a fault).
    void respostaTomadaPorSilencio() override;
    // Plain wire only: more bytes came after the last reply was taken as whole. That reply
    // was cut short, and what follows would pass for the next request's reply: the
    // connection is closed (the next request reconnects). Returns whether that happened.
    bool fechaSeForaDePasso() override;
    // The quickest a reply began to come on this connection, counted from its request: the
    // link's round trip at best (-1: no reply yet). Each wait notes its own.
    qint64 menorEsperaMs() const override { return m_menorEsperaMs; }
    void notaEspera(qint64 ms) override;
    // Forgets which servers were found not to take part in the agreement (tests).
    static void esqueceServidoresSimples();
    // What later connections ask for (benchmarks: the plain wire, framing without packing).
    // Both by default.
    static void definePedidos(bool quadros, bool empacotamento);

    // The secret of the session agreed with the server (empty when none). It is held in
    // memory only and presented on every reconnect to the same server (so no new login is
    // needed).
    const QString& segredoDaSessao() const { return m_segredo; }
    // Ends the logged-in operator's session on the server and forgets its secret: over a
    // short connection of its own, quietly, within a second.
    void encerraSessaoNoServidor();

    // While set, failures are not for the operator (the poll's attempts: the status line
    // tells them).
    void defineSondagem(bool sondando) { m_sondando = sondando; }
    bool emSondagem() const { return m_sondando; }

signals:
    // The owner is to connect now, as it does (its address, its messages), before returning.
    void pedeConexao();
    // (chegaram, chegouQuadro, respostaInteira, falhou, semMemoria, encerrada: CanalDaEspera's.)
    // The socket failed (the connection is closed right after). `avisar`: no wait took it
    // and the operator is to be told.
    void caiu(const QString& origem, const QString& descricao, bool avisar);

private:
    Resultado negocia(QTimer* timerTimeOut);
    Resultado cifra(QTimer* timerTimeOut);
    Resultado recusa(const QString& motivo);
    // What this client asks for (with "tls" first when `tls`).
    QStringList capacidades(bool tls) const;
    // The first offer's bytes for this connection; empty when none is made.
    QByteArray oferta(const QString& host, quint16 porta);
    void entregaSobra();
    void aplicaAcordo(const QStringList& aceitas);
    bool tomaAcordo();
    bool exigeTls(const QString& host, quint16 porta) const;
    bool exigeTls() const;
    void leDados();
    void recebe(const QByteArray& bytes);
    void trataErro();
    void enviaKeepAlive();

    QSslSocket* m_socket;
    QTimer* m_keepAlive;
    bool m_cifrada = false;
    bool m_apertoDeMao = false;     // the TLS handshake is under way: its failure is negocia's to tell
    QString m_motivoDaRecusa;
    QString m_impressaoDaSessao;    // the certificate the session's server showed (log-off checks it)
    bool m_sondando = false;      // see defineSondagem
    bool m_erroTratado = false;   // this connection's failure was already handled
    bool m_enquadrada = false;
    bool m_historico = false;
    bool m_sincronia = false;
    QString m_segredo;              // the session's secret (see segredoDaSessao)
    QString m_servidorDoSegredo;    // "host:port" of the server that gave it
    QString m_servidor;             // "host:port" of this connection
    QByteArray m_oferta;            // the first offer, sent as the connection comes up
    bool m_ofereceTls = false;      // it names "tls"
    bool m_antesDoAceite = false;   // the "2" has not come yet
    bool m_guardaSobra = false;     // what comes after the "2" is kept for the offer's wait
    QByteArray m_sobra;             // bytes of the offer's answer that came with the "2"
    bool m_acordoPendente = false;  // inside TLS: the agreement's answer is still to come
    QByteArray m_acordo;            // its bytes so far
    Quadros::Leitor m_leitor;
    bool m_empacotada = false;   // replies may come in packed pieces (protocol/Compressao.h)
    Compressao::Desempacotador m_desempacotador;
    bool m_respostaPorSilencio = false;   // the last reply was taken by the quiet rule
    bool m_foraDePasso = false;           // bytes came after it
    qint64 m_menorEsperaMs = -1;          // see menorEsperaMs
    QElapsedTimer m_ultimoKeepAlive;
};

// The program's connection: the login window's, which owns it. The window says how to reach
// it (defineDonoDoPrograma) as the program's code is loaded, so the request cycle waits and
// sends without knowing any window. conexaoDoPrograma creates the window, hidden and polling,
// when there is none yet (a lone connection, connecting nowhere, when no window was linked).
struct DonoDaConexao {
    Conexao* (*existente)();   // null when there is no window yet
    Conexao& (*cria)();        // the window made now, its connection
};
void defineDonoDoPrograma(const DonoDaConexao& dono);
Conexao* conexaoExistente();
Conexao& conexaoDoPrograma();
