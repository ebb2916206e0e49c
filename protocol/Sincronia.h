#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// What an office that works disconnected asks of our server, on connections that agreed the
// capability "sincronia" (protocol/Quadros.h); the plain wire never carries it.
//
// Every change to a department's sheets gets a number from one sequence the server keeps; a
// sheet's version is the number of its last change (0: not changed since the sequence began).
//
//     client: 17|<N>                                   the changes to the department since N
//     server: 18|<M>@@@<item>@@@<item>...              M: the sequence's number now (ask from M next)
//             0                                        no session, or a request out of shape
//   <item>:  F|<version>|<the sheet as a list carries it>    a sheet as it is now
//            X|<version>|<sheet number>                      a sheet deleted
//   From 0 the items are every sheet the department has (no deletions); from N > 0, each sheet
//   changed or deleted since, once, oldest change first. A sheet changed while the reply is
//   being read may come again in the next reply: applying an item twice does no harm. An N
//   beyond the sequence (the registry was restored from a copy since) gets the reply from 0,
//   with M below N: the client replaces its copy with it.
//
//     client: 19|<id>|<base>|<made at>|<request 6, 8 or 10 as on the plain wire>
//     server: 20|<id>|A|<version>|<that request's reply>       applied (or its reply when it was)
//             20|<id>|C|<version>|<"13|" + the sheet now, or empty when deleted>   not applied
//             0                                               nothing was done; it may come again
//   <id> is the client's, unique for each change (1 to 64 of A-Z a-z 0-9 - _); <base> the
//   version the sheet had when the change was made (0 for a new sheet); <made at> UTC
//   milliseconds since the epoch. The server records each id it answered with A or C in the
//   same transaction as the change: the same id again gets the same answer, applied once.
//   A base that is not the sheet's version now is a conflict (C): the change is not applied
//   and the registry's sheet comes back, for the operator to choose from.
//
//     client: 21|<n>|<length>|<a 19 request><length>|<a 19 request>...     n queued changes at once
//     server: 22|<k>|<length>|<its 20 reply><length>|<its 20 reply>...     the first k answered
//             0                                                           none answered
//   A group saves a round trip per change on a slow link. Each change is answered as it would
//   be alone, in order; the server stops at the first it cannot answer, and those after it were
//   not looked at (k < n): they come again. <length> counts the characters of the text after its
//   "|". The client puts a sheet in a group once: a later change of it starts from the version
//   the earlier one's answer gives.
namespace Sincronia {

inline constexpr char capacidade[] = "sincronia";
inline constexpr int codigoDasMudancas = 17;
inline constexpr int codigoDaListaDeMudancas = 18;
inline constexpr int codigoDaMudanca = 19;
inline constexpr int codigoDoDesfecho = 20;
inline constexpr int codigoDoGrupo = 21;
inline constexpr int codigoDosDesfechos = 22;
// How many changes, and how many characters of them, a client puts in one group.
inline constexpr qsizetype maximoDoGrupo = 50;
inline constexpr qsizetype maximoDeCaracteresDoGrupo = 256 * 1024;

QString pedidoDasMudancas(qint64 desde);
bool lePedidoDasMudancas(QStringView mensagem, qint64& desde);

struct Item {
    bool excluida = false;
    qint64 versao = 0;
    qint32 numero = 0;
    QString ficha;   // the sheet's pieces as a list carries them (empty for a deletion)
};
// "@@@F|<version>|" + the sheet, and "@@@X|<version>|<number>": an item as the reply joins it.
QByteArray itemDaFicha(qint64 versao, QByteArrayView fichaNaLista);
QByteArray itemExcluido(qint64 versao, qint32 numero);
QByteArray inicioDaLista(qint64 numeroAgora);
// False when the text is not a whole, well-formed reply.
bool leListaDeMudancas(QStringView mensagem, qint64& numeroAgora, QList<Item>& itens);

struct Mudanca {
    QString id;
    qint64 base = 0;
    qint64 feitaEmMs = 0;
    QString pedido;   // "6|...", "8|..." or "10|..."
};
bool idValido(QStringView id);
QString pedidoDaMudanca(const Mudanca& mudanca);
bool lePedidoDaMudanca(QStringView mensagem, Mudanca& mudanca);

struct Desfecho {
    QString id;
    bool conflito = false;
    qint64 versao = 0;
    QString resposta;   // applied: the request's reply; conflict: the sheet now ("" when deleted)
};
QString desfecho(const Desfecho& d);
bool leDesfecho(QStringView mensagem, Desfecho& d);

// A group of 19 requests, and the group of their 20 replies. Reading checks the frame of the
// group and each piece's code; each piece is read by lePedidoDaMudanca / leDesfecho.
QString pedidoDoGrupo(const QList<Mudanca>& mudancas);
bool lePedidoDoGrupo(QStringView mensagem, QList<QStringView>& pedidos);
QString desfechos(const QStringList& respostas);
bool leDesfechos(QStringView mensagem, QList<Desfecho>& desfechos);

} // namespace Sincronia
