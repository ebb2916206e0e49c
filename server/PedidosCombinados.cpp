// The requests let through by a capability agreed in frames (see PedidosCombinados.h).
#include "server/PedidosCombinados.h"
#include "protocol/Historico.h"
#include "protocol/Sincronia.h"

namespace PedidosCombinados {

QStringList aceitas(const QStringList& pedidas)
{
    QStringList saida;
    for (const char* capacidade : {Historico::capacidade, Sincronia::capacidade})
        if (pedidas.contains(QLatin1String(capacidade)))
            saida << QLatin1String(capacidade);
    return saida;
}

int codigo(const QStringList& combinadas, QStringView mensagem)
{
    if (combinadas.isEmpty())
        return 0;
    int nficha = 0;
    if (combinadas.contains(QLatin1String(Historico::capacidade)) && Historico::lePedido(mensagem, nficha))
        return Historico::codigoDoPedido;
    if (!combinadas.contains(QLatin1String(Sincronia::capacidade)))
        return 0;
    // The queued change is told by its code alone: one out of shape gets 0 from its handler.
    qint64 desde = 0;
    if (Sincronia::lePedidoDasMudancas(mensagem, desde))
        return Sincronia::codigoDasMudancas;
    if (mensagem.startsWith(QString::number(Sincronia::codigoDaMudanca) + u'|'))
        return Sincronia::codigoDaMudanca;
    if (mensagem.startsWith(QString::number(Sincronia::codigoDoGrupo) + u'|'))
        return Sincronia::codigoDoGrupo;
    return 0;
}

} // namespace PedidosCombinados
