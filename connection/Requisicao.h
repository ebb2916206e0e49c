#pragma once
#include <QString>
#include <initializer_list>
#include <optional>

class QTimer;
class QWidget;

// A reply the requesting window expected: its code and the whole reply text.
struct RespostaDoServidor {
    int codigo;
    QString texto;
};

// One request, the way every window makes it: connect if needed, send `mensagem` as one
// message, wait with the window's `timerTimeOut`, then classify the reply.
// Returns the reply when its code is one of `esperados`. Otherwise shows the shared message
// and returns nothing: time-out "Sem Resposta", code 0 "Falha no Comando" (unless 0 is
// expected), any other code "Comando Desconhecido". Also returns nothing, without a message
// of its own, when the connection could not be made (the attempt reported it), on a socket
// error (reported once), and when another request is already waiting.
// Raises ErroDeExecucao when the reply's code is not a number.
std::optional<RespostaDoServidor> Requisita(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                            std::initializer_list<int> esperados);
