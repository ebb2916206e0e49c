#pragma once
// The framed reader fed bytes in pieces of `corte`, into `l`: the messages it handed out, the
// one it was in the middle of, and whether it went to the end without breaking. The two
// framing targets compare a reading in one piece with one cut anywhere.
#include "Comum.h"
#include "protocol/Quadros.h"

#include <QList>

#include <utility>

struct Lido {
    QList<QByteArray> mensagens;
    QByteArray corrente;
    bool ok = true;
};

// `extras` are passed on to each Quadros::Leitor::le call after the two callbacks.
template <typename... Extras>
void leEmCortes(Quadros::Leitor& leitor, QByteArrayView bytes, qsizetype corte, Lido& l, Extras&&... extras)
{
    for (qsizetype i = 0; i < bytes.size() && l.ok; i += corte)
        l.ok = leitor.le(
            bytes.sliced(i, qMin(corte, bytes.size() - i)), [&](QByteArrayView d) { l.corrente += d; },
            [&] { l.mensagens.append(std::exchange(l.corrente, QByteArray())); }, extras...);
}

// A reading in one piece and one in cuts agree: on breaking, and when not, on every message.
inline void exigeIguais(const Lido& inteiro, const Lido& cortado)
{
    EXIGE(inteiro.ok == cortado.ok);
    if (inteiro.ok) {
        EXIGE(inteiro.mensagens == cortado.mensagens);
        EXIGE(inteiro.corrente == cortado.corrente);
    }
}
