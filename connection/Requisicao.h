#pragma once
// The request cycle: connect if needed, send one message, wait (connection/Espera.h), classify.
#include "connection/Espera.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

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

// The same, but the reply is handed over as the bytes that came, never decoded as a whole:
// for long lists, whose lines are decoded one at a time when shown. respostaServidor stays
// empty.
std::optional<RespostaDoServidor> RequisitaEmBytes(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                                   std::initializer_list<int> esperados);

// The same, and on a framed connection the reply is handed to `andamento` as it comes
// (proximaEsperaComAndamento, connection/Espera.h), for a window that shows a long list as it
// arrives. What is returned is still only the whole reply.
std::optional<RespostaDoServidor> RequisitaEmBytes(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                                   std::initializer_list<int> esperados,
                                                   std::function<void(QByteArrayView)> andamento);

// While the program works disconnected (desconectado/TrabalhoDesconectado.h) requests are
// answered from the desk's copy through this, not sent: the reply's code and text as the server
// would give them, classified as any reply is (a request the copy does not take gets code 0,
// "Falha no Comando"). An empty function sends to the server again.
using RespondenteLocal = std::function<std::pair<int, QString>(const QString& mensagem)>;
void defineRespondenteLocal(RespondenteLocal respondente);
bool respondeLocalmente();

// A connected session that has a copy to fall back on: when a request finds that the server
// cannot be reached (before anything was sent), this is called once, quietly (no box for the
// failed connection); when it returns true, a local answerer is in place and the request is
// answered by it. Empty: such a request fails as always.
using ReservaSemConexao = std::function<bool()>;
void defineReservaSemConexao(ReservaSemConexao reserva);
// Called with each request the server answered with one of the codes waited for, once its reply
// was taken: the copy follows the changes made while connected.
using AposResposta = std::function<void(const QString& mensagem)>;
void defineAposResposta(AposResposta aposResposta);

// AguardaResposta (connection/Espera.h) on the program's connection, when there is one.
// Windows do not wait by themselves: Requisita does.
int AguardaResposta(QTimer* timerTimeOut);
// The same with a time limit of its own (not timeOutSegundos) and the codes waited for.
int AguardaResposta(QTimer* timerTimeOut, int limiteMs, QList<int> esperados);

// The three shared messages of a request that went wrong (error icon).
namespace MensagensDoServidor {
void semResposta(QWidget* dono);          // "Sem Resposta"
void falhaNoComando(QWidget* dono);       // "Falha no Comando"
void comandoDesconhecido(QWidget* dono);  // "Comando Desconhecido"
} // namespace MensagensDoServidor
