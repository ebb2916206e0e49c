// Reply assembly on the client: however the same bytes are cut into arrivals, the assembled
// reply and its verdict (whole shape, quiet interval) are the same as for one arrival.
#include "Comum.h"
#include "connection/MontadorDeResposta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    if (tamanho < 2)
        return 0;
    // First byte: where the arrivals are cut (a step of 1..16 characters); second: which codes
    // the request waits for.
    const qsizetype passo = 1 + dados[0] % 16;
    static const QList<int> esperadosPossiveis[] = {{}, {4, 5}, {7, 9}, {11}, {13, 14}};
    const QList<int>& esperados = esperadosPossiveis[dados[1] % 5];
    const QByteArrayView texto(reinterpret_cast<const char*>(dados + 2), qsizetype(tamanho - 2));

    MontadorDeResposta inteiro;
    inteiro.defineEsperados(esperados);
    inteiro.acrescenta(texto);

    MontadorDeResposta emPedacos;
    emPedacos.defineEsperados(esperados);
    for (qsizetype i = 0; i < texto.size(); i += passo) {
        emPedacos.acrescenta(texto.sliced(i, qMin(passo, texto.size() - i)));
        (void)emPedacos.formaCompleta();
    }

    const MontadorDeResposta::Silencios s;
    EXIGE(emPedacos.bytes() == inteiro.bytes());
    EXIGE(emPedacos.texto() == inteiro.texto());
    EXIGE(emPedacos.formaCompleta() == inteiro.formaCompleta());
    EXIGE(emPedacos.silencioMs(s) == inteiro.silencioMs(s));

    inteiro.reinicia();
    EXIGE(inteiro.vazio() && !inteiro.formaCompleta());
    return 0;
}
