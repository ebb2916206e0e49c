// The agreed framing: whatever bytes arrive, cut anywhere, the reader hands out the same
// messages and breaks at the same point as when they arrive in one piece; and the messages it
// read, framed again, read back the same.
#include "LeituraEmCortes.h"

namespace {

Lido le(QByteArrayView bytes, qsizetype corte)
{
    Quadros::Leitor leitor(1 << 16);
    Lido l;
    leEmCortes(leitor, bytes, corte, l);
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
    exigeIguais(inteiro, cortado);
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
