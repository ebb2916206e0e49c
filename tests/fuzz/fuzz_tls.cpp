// What the TLS agreement adds to parse: a fingerprint as people write it (a normalised one
// is 64 hex digits and normalises to itself, in any case or with colons), the remembered
// certificates (what is written reads back the same), and the offer with "tls" among the
// capabilities (a request made from what was read reads back the same).
#include "Comum.h"
#include "protocol/ImpressaoDigital.h"
#include "protocol/Quadros.h"

#include <QByteArray>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    const QByteArray bytes(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    const QString texto = textoDoFio(dados, tamanho);

    const QString impressao = ImpressaoDigital::normaliza(texto);
    if (!impressao.isEmpty()) {
        EXIGE(impressao.size() == 64);
        EXIGE(ImpressaoDigital::normaliza(impressao) == impressao);
        EXIGE(ImpressaoDigital::normaliza(impressao.toUpper()) == impressao);
        EXIGE(ImpressaoDigital::normaliza(ImpressaoDigital::comDoisPontos(QByteArray::fromHex(impressao.toLatin1()))) == impressao);
    }

    const QHash<QString, QString> conhecidos = ImpressaoDigital::leConhecidos(bytes);
    for (auto it = conhecidos.cbegin(); it != conhecidos.cend(); ++it)
        EXIGE(ImpressaoDigital::normaliza(it.value()) == it.value());
    const QHash<QString, QString> relidos = ImpressaoDigital::leConhecidos(ImpressaoDigital::escreveConhecidos(conhecidos));
    EXIGE(relidos == conhecidos);

    QStringList capacidades;
    if (Quadros::leNegociacao(texto, capacidades)) {
        QStringList relidas;
        EXIGE(Quadros::leNegociacao(Quadros::pedidoDeNegociacao(capacidades), relidas));
        EXIGE(relidas == capacidades);
    }
    return 0;
}
