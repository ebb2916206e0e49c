// One client's connection to the registry server, from its greeting to its farewell.
#pragma once
#include "protocol/Quadros.h"
#include "server/network/Enquadramento.h"
#include "server/OpcoesDoServidor.h"
#include "server/Sessoes.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <functional>
#include <memory>

class Banco;
struct ConferenciaDeSessoes;
class Escoamento;
class QElapsedTimer;
class QTcpSocket;
class QTimer;
class TamanhoDoPedido;
class TrabalhoNoBanco;
class Vazao;

// Greets the client with "2", takes the negotiation that may follow the greeting (framed
// messages, a session of its own, a log-off), finds the requests in what arrives — on the
// plain wire by the quiet after a request's last piece, or framed — and writes each reply,
// a long one in pieces as its worker reads it. It holds the connection's session and its
// idle clock, and never answers a keep-alive. At most one request is in the works at a
// time, so the replies leave in the order of the requests.
//
// What is shared by all the connections — the limits, the workers — is its listener's, handed
// over at construction. The connection knows nothing of the listener: it says what happened
// through its signals (a whole request is `pediu`), and the reply comes back through
// `responde` (or `escrevePedaco` and then `responde`/`falhaNoMeio`) on the loop's thread.
//
// The object is its socket's child. When the peer goes it becomes inert (`desconectada`)
// and goes with the socket on the loop's next pass.
class ConexaoDoCliente : public QObject {
    Q_OBJECT
public:
    // What all the connections of one listener share; the listener outlives them.
    struct Ambiente {
        const TrabalhoNoBanco& trabalho;   // where its database work runs
        const TamanhoDoPedido& tamanhos;   // how large a request may grow
        const OpcoesDoServidor& opcoes;
        Sessoes& sessoes;
        const QElapsedTimer& relogio;   // the time requests arrive and replies leave, for the log
        const QSslConfiguration& tls;   // the server's certificate; null: TLS is not offered
    };

    // Takes an accepted socket; `numero` is its place in the order of arrival. Its clock
    // for a login starts now; `cumprimenta` is the first thing the client reads.
    ConexaoDoCliente(QTcpSocket* socket, quint64 numero, const Ambiente& ambiente);
    ~ConexaoDoCliente() override;

    void cumprimenta();

    const QString& nome() const { return m_nome; }   // "address:port", for the log
    const QHostAddress& endereco() const { return m_endereco; }
    const QString& chaveDoEndereco() const { return m_chaveDoEndereco; }   // the address as limits count it
    quint64 numero() const { return m_numero; }
    bool autenticada() const { return m_autenticada; }
    bool cifrada() const { return m_cifrada; }   // inside TLS
    bool ocupada() const { return m_ocupada; }   // a request of this connection is being served
    bool fechando() const { return m_fechando; }
    bool desconectada() const { return m_desconectada; }
    // Whose session a request of this connection runs under.
    Portador portador() const;

    // Drops the connection at once (its file is needed, or it stayed idle too long).
    void derruba();
    // Its session (key `chave`) was ended by a log-off: not logged in any more, with the time
    // for a login counted again from now.
    void sessaoEncerrada(const QString& chave);

    // After a right password: the session to bind to the operator (the secret this connection
    // agreed on, or one of its own); `compartilhada` under the per-address rule.
    Portador preparaSessao(bool& compartilhada);

    // A long reply: the flow its worker waits on, one piece of it, and the end (`responde`
    // with what the worker finally answered, or `falhaNoMeio` when it failed after pieces left).
    std::shared_ptr<Vazao> comecaVazao();
    void cancelaVazao();
    // The long reply's worker stopped reading (its budget is full): `continua` goes on once the
    // client has taken enough of it.
    void aguardaEscoar(std::function<void()> continua);
    // How this connection's long replies go on the wire, and a piece made ready for it: on the
    // worker that reads the reply, so the loop only writes (packing a piece takes milliseconds).
    enum class Forma { Simples, Enquadrada, Empacotada };
    Forma formaDosPedacos() const;
    static QByteArray pedacoPronto(Forma forma, QByteArrayView bytes);
    // A piece made ready, after `cabecalho` (a frame's opening, when the piece's bytes are
    // framed where they lie; else empty); `codigo`: the reply's code (from its first bytes), for the log.
    void escrevePedaco(const QByteArray& cabecalho, const QByteArray& pronto, const QByteArray& codigo);
    // For the slow-request line: `linhas`, the rows a list returned (-1: as the reply's code
    // says), and the department the request named (0: none).
    void responde(int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs, qint64 linhas = -1,
                  qint32 departamento = 0);
    void falhaNoMeio(int codigoPedido, const QString& desfecho, qint64 chegouNs);

signals:
    // Let in for the first time (a login accepted, a session resumed, a request served under one).
    void autenticou();
    // Out again, still connected: its session was ended by a log-off.
    void saiu();
    // A log-off on this connection ended the session with this key: its connections are out.
    void encerrouSessao(const QString& chave);
    // A whole request to serve.
    void pediu(int codigoPedido, QByteArray pedido);
    // The peer has gone: nothing more is handed to this connection.
    void fechou();
    // A limit was hit: a line for the log (the listener writes it at most so often for each kind).
    void aviso(const QString& tipo, const QString& linha);

private:
    void chegaram();
    void chegaramEmQuadros(QByteArrayView novos);
    void avisaPedidoGrande(qsizetype limite);
    void examina();
    bool terminaNaDescricao(const Enquadramento::Analise& a) const;
    void silencio();
    void proximaEmQuadros();
    bool negocia(const QByteArray& mensagem);
    bool aceitaTls(const QStringList& pedidas);
    void cifrou();
    void terminaNegociacao(const QStringList& pedidas, const ConferenciaDeSessoes& conferencia);
    void entrega(int codigoPedido, QByteArray pedido);
    void ociosa();
    void naoLe(qint64 esperando);
    void desconectou();
    void autentica();
    void registraResposta(int codigoPedido, QByteArrayView codigo, const QString& desfecho, qint64 chegouNs, qint64 linhas = -1,
                          qint32 departamento = 0);
    void libera();

    const TrabalhoNoBanco& m_trabalho;
    const TamanhoDoPedido& m_tamanhos;
    const OpcoesDoServidor& m_opcoes;
    Sessoes& m_sessoes;
    const QElapsedTimer& m_relogio;
    const QSslConfiguration& m_tls;

    QTcpSocket* m_socket;
    QHostAddress m_endereco;
    QString m_chaveDoEndereco;
    QString m_nome;
    quint64 m_numero;
    QTimer* m_silencio;       // the quiet that ends a plain-wire request
    QTimer* m_ociosa;         // the time it may go without a login, or without messages
    QByteArray m_recebido;    // bytes not yet taken as a request (plain wire)
    bool m_ocupada = false;
    bool m_fechando = false;
    bool m_desconectada = false;
    bool m_primeira = true;   // no message served yet: the framing may still be agreed
    bool m_autenticada = false;
    bool m_cifrada = false;
    // The session: its key (the hash of the secret), whether the client agreed on one (it
    // holds the secret and comes back with it), and whether it ends with this connection.
    QString m_chave;
    bool m_combinouSessao = false;
    bool m_sessaoSoDaConexao = false;
    // Framed messages (once agreed): the reader, the message growing, those complete.
    bool m_enquadrada = false;
    bool m_empacota = false;   // long replies go in packed pieces (protocol/Compressao.h)
    QStringList m_combinadas;   // agreed: the requests its client may make beyond the plain wire (PedidosCombinados)
    Quadros::Leitor m_leitor;
    QByteArray m_mensagem;
    QList<QByteArray> m_prontas;
    qsizetype m_bytesProntos = 0;   // what `m_prontas` holds, with a little for each message
    // The long reply under way (and what waits to leave), and the code its first piece carried (for the log).
    Escoamento* m_escoamento;
    QByteArray m_codigoDaResposta;
};
