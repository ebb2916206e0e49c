#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

// A sheet's history as our server sends it to our client, on connections that agreed the
// capability "historico" (protocol/Quadros.h); the plain wire never carries it.
//
//     client: 15|<sheet number>
//     server: 16|<when>|<operator>|<action>|<changes>|<when>|...   (newest first; "16" alone: none)
//             0                                                   (not the operator's department)
//
// <when> is UTC as yyyy-MM-ddTHH:mm:ssZ. The other three pieces are percent-encoded UTF-8, so no
// "|" inside a value can move the pieces. <changes> lists "field,before,after" triples, each of
// the three percent-encoded, joined by ";".
namespace Historico {

inline constexpr char capacidade[] = "historico";
inline constexpr int codigoDoPedido = 15;
inline constexpr int codigoDaResposta = 16;

struct Alteracao {
    QString campo;
    QString antes;
    QString depois;
    bool operator==(const Alteracao&) const = default;
};

struct Entrada {
    QDateTime quando;   // UTC
    QString operador;
    QString acao;       // already in Portuguese, as the operator reads it
    QList<Alteracao> alteracoes;
    bool operator==(const Entrada&) const = default;
};

QString pedido(int nficha);
// The sheet number a request names; false when the text is not one.
bool lePedido(QStringView mensagem, int& nficha);

QString resposta(const QList<Entrada>& entradas);
// False when the text is not a whole, well-formed reply.
bool leResposta(QStringView mensagem, QList<Entrada>& entradas);

} // namespace Historico
