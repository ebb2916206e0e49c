#pragma once
// The wait for one reply: the event loop runs until the reply is whole (by its frames, or on
// the plain wire by the quiet after it), the time-out fires or the connection fails. Both the
// request cycle (connection/Requisicao.h) and the connection itself (its acceptance and its
// agreement, connection/Conexao.h) wait this way; the wait knows the connection only as the
// channel below.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

// What a wait hears and asks of the connection it waits on.
class CanalDaEspera : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Replies are framed: they end where their bytes say, never by a quiet interval.
    virtual bool enquadrada() const = 0;
    // The wait took the last reply by the quiet rule (from then on, more bytes are a fault).
    virtual void respostaTomadaPorSilencio() = 0;
    // Plain wire only: closes the connection when more bytes came after a reply taken by the
    // quiet rule; returns whether it did.
    virtual bool fechaSeForaDePasso() = 0;
    // Closes the connection (a late reply must not pass for the next one's).
    virtual void encerra() = 0;
    // The quickest a reply began to come on this connection (-1: none yet), and a new one.
    virtual qint64 menorEsperaMs() const = 0;
    virtual void notaEspera(qint64 ms) = 0;

signals:
    // Plain wire: bytes that came while a request waits (its end is the waiter's to judge).
    void chegaram(QByteArrayView pedaco);
    // Framed: bytes of a reply, and its end: the reply is whole.
    void chegouQuadro(QByteArrayView pedaco);
    void respostaInteira();
    // The connection failed or the server closed it: the reply waited for is lost, unless
    // `fechadaPeloServidor` and what came is whole. `mostrar`: the waiter reports it.
    void falhou(const QString& origem, const QString& descricao, bool fechadaPeloServidor, bool mostrar);
    // Memory ran out while a reply came in (the connection is closed right after).
    void semMemoria();
    // The program closed the connection.
    void encerrada();
};

// What AguardaResposta returns when the wait ended because the connection failed or was
// closed (already reported to the operator; the connection is closed).
inline constexpr int RespostaInterrompida = -1;

// Waits on `canal` for the reply to the message just sent: empties respostaServidor, clears
// tempoEsgotado, arms `timerTimeOut` (or a timer of its own when null) with `limiteMs`, or
// timeOutSegundos when not positive (armed again at every piece of the reply: it times the
// wait for the reply to begin and each stall, not the whole transfer) and runs the event loop
// until a whole reply has arrived (it is then in respostaServidor), the timer fires or the
// connection fails. `esperados`: the codes the reply may bring (they tell its shape). Returns
// 0 on time-out (tempoEsgotado set; the connection is then closed so that a late reply cannot
// pass for the next request's), RespostaInterrompida on a connection failure, otherwise the
// reply's code (LeComando; raises when not a number, after closing a plain-wire connection).
int AguardaResposta(CanalDaEspera* canal, QTimer* timerTimeOut, int limiteMs = -1, QList<int> esperados = {});
// The next wait keeps the reply as the bytes that came, never decoded as a whole
// (respostaServidor stays empty); tomaBytesDaResposta hands them over.
void proximaEsperaEmBytes();
QByteArray tomaBytesDaResposta();
// The next wait hands a framed reply on as it comes: after each piece, `andamento` gets every
// byte of the reply so far (a view that stays valid until the next call or the end of the
// wait). When the wait ends without a whole reply it gets one last, empty view: the bytes are
// gone. A plain-wire reply is not followed (its end is known only by the quiet after it).
void proximaEsperaComAndamento(std::function<void(QByteArrayView)> andamento);

// The last wait ended because the connection failed or was closed (AguardaResposta then
// returned RespostaInterrompida).
bool EsperaInterrompida();

// A wait is running: no other request or connection attempt may start now.
bool RequisicaoEmCurso();

// Tuning of the quiet intervals that close a reply (see MontadorDeResposta). For tests and
// benchmarks; negative values keep the current setting.
void defineSilenciosDaResposta(int registroMs, int listaMs, int incompletaMs = -1);

// The longest reply taken, in bytes as they come (0: the setting maximoRespostaMiB of
// config.ini, 256 MiB when absent). A longer one ends the wait while it arrives ("Resposta
// Muito Grande"), the connection is closed, nothing shown.
qint64 limiteDeBytesDaResposta();
inline constexpr qint64 limitePadraoDeBytesDaResposta = qint64(256) << 20;

// For tests: memory runs out (std::bad_alloc) as soon as a reply passes `bytes`; 0: never.
void simulaFaltaDeMemoriaAcimaDe(qint64 bytes);

// The most sheets a list reply may bring (200,000 as shipped). A longer one is refused while
// it arrives ("Lista Muito Grande"), the connection closed, nothing shown. For tests.
void defineLimiteDeFichas(qsizetype fichas);
