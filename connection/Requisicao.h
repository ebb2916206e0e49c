#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <initializer_list>
#include <optional>

class Conexao;
class QTimer;
class QWidget;

// A reply the requesting window expected: its code and the whole reply text. From
// RequisitaEmBytes, `texto` stays empty and `bytes` holds the reply as it came (Windows-1252).
struct RespostaDoServidor {
    int codigo;
    QString texto;
    QByteArray bytes;
};

// One request, the way every window makes it: connect if needed, send `mensagem` as one
// message, wait with the window's `timerTimeOut`, then classify the reply.
// Returns the reply when its code is one of `esperados`. Otherwise shows the shared message
// and returns nothing: time-out "Sem Resposta", code 0 "Falha no Comando" (unless 0 is
// expected), any other code "Comando Desconhecido" (a plain-wire connection is then closed:
// it may be out of step). Also returns nothing, without a message
// of its own, when the connection could not be made (the attempt reported it), on a socket
// error (reported once), and when another request is already waiting.
// Raises ErroDeExecucao when the reply's code is not a number (a plain-wire connection is then
// closed: it is out of step).
// The wait runs the event loop: `dono` may be closed meanwhile; when it is destroyed during
// the wait, nothing is shown and nothing is returned.
std::optional<RespostaDoServidor> Requisita(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                            std::initializer_list<int> esperados);

// What AguardaResposta returns when the wait ended because the connection failed or was
// closed (already reported to the operator; the connection is closed).
inline constexpr int RespostaInterrompida = -1;

// The same, but the reply is handed over as the bytes that came, never decoded as a whole:
// for long lists, whose lines are decoded one at a time when shown. respostaServidor stays
// empty.
std::optional<RespostaDoServidor> RequisitaEmBytes(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                                   std::initializer_list<int> esperados);

// Waits for the reply to the message just sent: empties respostaServidor, clears
// tempoEsgotado, arms `timerTimeOut` with timeOutSegundos (armed again at every piece of the
// reply: it times the wait for the reply to begin and each stall, not the whole transfer) and
// runs the event loop until a whole reply has arrived (it is then in respostaServidor), the
// timer fires or the connection fails. Returns 0 on time-out (tempoEsgotado set; the
// connection is then closed so that a late reply cannot pass for the next request's),
// RespostaInterrompida on a connection failure, otherwise the reply's code (LeComando;
// raises when not a number, after closing a plain-wire connection).
// Windows do not call this directly: Requisita does.
int AguardaResposta(QTimer* timerTimeOut);
// The same with a time limit of its own (not timeOutSegundos) and the codes waited for.
int AguardaResposta(QTimer* timerTimeOut, int limiteMs, QList<int> esperados);
// The same on `conexao` (the two above wait on the program's connection): how Requisita
// waits, and how a connection waits for the server's acceptance and for its agreement.
int AguardaResposta(Conexao* conexao, QTimer* timerTimeOut, int limiteMs = -1, QList<int> esperados = {});

// The last wait ended because the connection failed or was closed (AguardaResposta then
// returned RespostaInterrompida).
bool EsperaInterrompida();

// A wait is running: no other request or connection attempt may start now.
bool RequisicaoEmCurso();

// The three shared messages of a request that went wrong (error icon).
namespace MensagensDoServidor {
void semResposta(QWidget* dono);          // "Sem Resposta"
void falhaNoComando(QWidget* dono);       // "Falha no Comando"
void comandoDesconhecido(QWidget* dono);  // "Comando Desconhecido"
} // namespace MensagensDoServidor

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
