// Packed pieces: whatever bytes arrive, cut anywhere, the reader with unpacking hands out the
// same messages and breaks at the same point as with the bytes in one piece, never unpacks a
// piece beyond its bound; and the input itself, packed, reads back the same.
#include "LeituraEmCortes.h"
#include "protocol/Compressao.h"

namespace {

Lido le(QByteArrayView bytes, qsizetype corte)
{
    Quadros::Leitor leitor(1 << 16);
    Compressao::Desempacotador desempacotador;
    Lido l;
    const auto empacotados = [&](QByteArrayView parte, bool ultima) {
        if (!desempacotador.acrescenta(parte, ultima))
            return false;
        EXIGE(desempacotador.pronto().size() <= Compressao::maiorPedaco);
        if (ultima)
            l.corrente += desempacotador.pronto();
        return true;
    };
    leEmCortes(leitor, bytes, corte, l, empacotados);
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
    // The input as a reply: packed (its long runs) and read back, it is the same bytes.
    QByteArray repetido;
    while (repetido.size() < Compressao::menorPedaco)
        repetido += bytes.isEmpty() ? QByteArrayView("x") : bytes;
    const QByteArray fio = Compressao::quadro(repetido) + Compressao::quadro(bytes) + Quadros::fim();
    const Lido relido = le(fio, corte);
    EXIGE(relido.ok && relido.mensagens.size() == 1 && relido.mensagens[0] == repetido + bytes.toByteArray());
    return 0;
}
