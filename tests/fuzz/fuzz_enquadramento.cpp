// Request framing on the server: any bytes give one of the four verdicts, a request's start
// lies inside the bytes, and a verdict of "whole" never turns into "incomplete" as more
// bytes arrive (a request once complete cannot be taken back).
#include "Comum.h"
#include "server/network/Enquadramento.h"

using Enquadramento::Situacao;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    const auto a = Enquadramento::analisa(bytes);
    EXIGE(a.inicio >= 0 && a.inicio <= bytes.size());
    if (a.situacao == Situacao::Completo || a.situacao == Situacao::Incompleto)
        EXIGE(a.codigo < 0 || Enquadramento::ehCodigoDePedido(a.codigo));

    // Every prefix: once complete, a longer text of the same request stays complete or
    // becomes a different verdict for cause, never incomplete again at the same start.
    bool completoAntes = false;
    qsizetype inicioCompleto = -1;
    for (qsizetype n = 0; n <= bytes.size(); ++n) {
        const auto p = Enquadramento::analisa(bytes.first(n));
        EXIGE(p.inicio >= 0 && p.inicio <= n);
        if (completoAntes && p.inicio == inicioCompleto)
            EXIGE(p.situacao != Situacao::Incompleto);
        if (p.situacao == Situacao::Completo && !completoAntes) {
            completoAntes = true;
            inicioCompleto = p.inicio;
        }
    }
    return 0;
}
