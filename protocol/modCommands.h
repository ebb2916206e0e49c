#pragma once
#include <QString>
#include <QStringView>

// The command codes of the wire, client requests and server replies.
namespace Codigo {
enum : int {
    Falha = 0,            // S->C: the server could not carry out the request
    KeepAlive = 1,        // C->S: no payload, no reply
    Aceito = 2,           // S->C: first message after a connection is accepted
    Login = 3,            // C->S: clsUsuario
    LoginAceito = 4,      // S->C: clsUsuario of the operator
    LoginNegado = 5,      // S->C
    Salva = 6,            // C->S: clsAgenda
    Salvo = 7,            // S->C: clsAgenda as stored
    Inclui = 8,           // C->S: clsAgenda under a typed number
    Incluido = 9,         // S->C: clsAgenda (same number = already existed)
    Exclui = 10,          // C->S: clsAgenda
    Excluido = 11,        // S->C
    Busca = 12,           // C->S: clsFiltroBusca
    Encontrados = 13,     // S->C: list of clsAgenda
    NadaEncontrado = 14,  // S->C
    Negociacao = 99,      // both ways, once, between our own client and server (protocol/Quadros.h)
};

// How many "|"-separated pieces a complete message of this code has, counting the code
// itself; -1 for a list (no fixed count) and 1 for the messages without payload.
int pecasDaMensagem(int codigo);
} // namespace Codigo

// The command code of a message: its first "|" piece as a whole number.
// Raises ErroDeExecucao when that piece is not a number.
int LeComando(QStringView mensagem);

// The decimal text of a code, for the messages without payload (the keep-alive).
QString MontaComando(int codigo);

// Splits "code|payload" at the first "|": returns the code text and leaves the payload
// in `carga`. Without any "|" the whole text is the payload and the code text is null.
QStringView separaComando(QStringView mensagem, QStringView& carga);

// "code|" + payload, for the ...WithCommand operations of the records.
QString comComando(int codigo, const QString& carga);

// The code in front of a record text, read after the record was filled; a text without
// "|" has no code and raises the error here.
int codigoDaMensagem(QStringView codigo, const QString& origem);
