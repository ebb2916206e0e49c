#include "protocol/Quadros.h"

namespace Quadros {

QString pedidoDeNegociacao(const QStringList& capacidades)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(codigoDeNegociacao)
        .arg(QLatin1String(nomeDoProtocolo))
        .arg(versao)
        .arg(capacidades.join(QLatin1Char(',')));
}

bool leNegociacao(QStringView mensagem, QStringList& capacidades)
{
    capacidades.clear();
    const QList<QStringView> pecas = mensagem.split(u'|');
    if (pecas.size() != 4 || pecas[0] != QString::number(codigoDeNegociacao)
        || pecas[1] != QLatin1String(nomeDoProtocolo) || pecas[2] != QString::number(versao))
        return false;
    for (const QStringView c : pecas[3].split(u',', Qt::SkipEmptyParts))
        capacidades.append(c.toString());
    return true;
}

bool pareceSegredo(QStringView texto)
{
    if (texto.size() != 64)
        return false;
    for (QChar c : texto)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

QByteArray quadro(QByteArrayView dados)
{
    if (dados.isEmpty())
        return QByteArray();
    QByteArray q = cabecalho(dados.size());
    q.reserve(q.size() + dados.size());
    q += dados;
    return q;
}

QByteArray cabecalho(qsizetype tamanho)
{
    return QByteArray::number(tamanho) + ':';
}

QByteArray fim()
{
    return QByteArrayLiteral("0:");
}

QByteArray mensagem(QByteArrayView dados)
{
    return quadro(dados) + fim();
}

} // namespace Quadros
