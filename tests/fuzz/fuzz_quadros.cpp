// The agreed framing: whatever bytes arrive, cut anywhere, the reader hands out the same
// messages and breaks at the same point as when they arrive in one piece; and the messages it
// read, framed again, read back the same.
#include "Comum.h"
#include "protocol/Quadros.h"

#include <QList>

namespace {

struct Lido {
    QList<QByteArray> mensagens;
    QByteArray corrente;
    bool ok = true;
};

Lido le(QByteArrayView bytes, qsizetype corte)
{
    Quadros::Leitor leitor(1 << 16);
    Lido l;
    for (qsizetype i = 0; i < bytes.size() && l.ok; i += corte)
        l.ok = leitor.le(
            bytes.sliced(i, qMin(corte, bytes.size() - i)), [&](QByteArrayView d) { l.corrente += d; },
            [&] { l.mensagens.append(std::exchange(l.corrente, QByteArray())); });
    return l;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    if (tamanho == 0)
        return 0;
    const qsizetype corte = 1 + dados[0] % 13;
    const QByteArrayView bytes(reinterpret_cast<const char*>(dados) + 1, qsizetype(tamanho) - 1);
    const Lido inteiro = le(bytes, qMax<qsizetype>(1, bytes.size()));
    const Lido cortado = le(bytes, corte);
    EXIGE(inteiro.ok == cortado.ok);
    if (inteiro.ok) {
        EXIGE(inteiro.mensagens == cortado.mensagens);
        EXIGE(inteiro.corrente == cortado.corrente);
    }
    QByteArray de_novo;
    for (const QByteArray& m : inteiro.mensagens) {
        for (qsizetype i = 0; i < m.size(); i += 4096)
            de_novo += Quadros::quadro(QByteArrayView(m).sliced(i, qMin<qsizetype>(4096, m.size() - i)));
        de_novo += Quadros::fim();
    }
    const Lido relido = le(de_novo, corte);
    EXIGE(relido.ok && relido.mensagens == inteiro.mensagens && relido.corrente.isEmpty());
    return 0;
}
