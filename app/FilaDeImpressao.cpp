// What the operator is told of a print job left waiting in its queue, whatever the print system.
#include "app/FilaDeImpressao.h"

namespace FilaDeImpressao {

QString tituloDaEspera(const Situacao& s)
{
    return s.filaParada ? QStringLiteral("Impressora Pausada") : QStringLiteral("Impressão Retida na Fila");
}

QString textoDaEspera(const Situacao& s, const QString& fila, const QString& titulo)
{
    QString texto = s.filaParada
                        ? QStringLiteral("A impressora \"%1\" está pausada. O trabalho \"%2\" foi aceito, mas ficou "
                                         "esperando na fila dela e ainda não foi impresso.")
                              .arg(fila, titulo)
                        : QStringLiteral("O trabalho \"%2\" foi aceito pela impressora \"%1\", mas ficou retido na "
                                         "fila dela e ainda não foi impresso.")
                              .arg(fila, titulo);
    if (!s.motivo.isEmpty())
        texto += QStringLiteral("\nO sistema de impressão informa: %1").arg(s.motivo);
    texto += s.filaParada ? QStringLiteral("\nEle será impresso quando a impressora for retomada nas configurações de "
                                           "impressão do sistema; não o envie de novo, para não sair em dobro.")
                          : QStringLiteral("\nEle será impresso quando for liberado nas configurações de impressão do "
                                           "sistema; não o envie de novo, para não sair em dobro.");
    return texto;
}

} // namespace FilaDeImpressao
