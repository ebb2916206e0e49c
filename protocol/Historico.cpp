// Writing and reading the history request and reply of our own client and server.
#include "protocol/Historico.h"

namespace Historico {

namespace {

QString codifica(const QString& texto)
{
    return QString::fromLatin1(texto.toUtf8().toPercentEncoding());
}

bool decodifica(QStringView texto, QString& saida)
{
    for (QChar c : texto)
        if (c.unicode() > 0x7e || c == u'|' || c == u',' || c == u';')
            return false;
    const QByteArray bytes = QByteArray::fromPercentEncoding(texto.toLatin1());
    saida = QString::fromUtf8(bytes);
    return saida.toUtf8() == bytes;   // refuses bytes that are not UTF-8
}

} // namespace

QString pedido(int nficha)
{
    return QStringLiteral("%1|%2").arg(codigoDoPedido).arg(nficha);
}

bool lePedido(QStringView mensagem, int& nficha)
{
    const QList<QStringView> pecas = mensagem.split(u'|');
    if (pecas.size() != 2 || pecas[0] != QString::number(codigoDoPedido))
        return false;
    bool ok = false;
    nficha = pecas[1].toInt(&ok);
    return ok && nficha > 0 && pecas[1] == QString::number(nficha);
}

QString resposta(const QList<Entrada>& entradas)
{
    QString r = QString::number(codigoDaResposta);
    for (const Entrada& e : entradas) {
        QStringList trincas;
        for (const Alteracao& a : e.alteracoes)
            trincas << codifica(a.campo) + u',' + codifica(a.antes) + u',' + codifica(a.depois);
        r += u'|' + e.quando.toUTC().toString(Qt::ISODate) + u'|' + codifica(e.operador) + u'|'
            + codifica(e.acao) + u'|' + trincas.join(u';');
    }
    return r;
}

bool leResposta(QStringView mensagem, QList<Entrada>& entradas)
{
    entradas.clear();
    const QList<QStringView> pecas = mensagem.split(u'|');
    if (pecas.isEmpty() || pecas[0] != QString::number(codigoDaResposta) || (pecas.size() - 1) % 4 != 0)
        return false;
    for (qsizetype i = 1; i < pecas.size(); i += 4) {
        Entrada e;
        e.quando = QDateTime::fromString(pecas[i].toString(), Qt::ISODate);
        if (!e.quando.isValid() || !pecas[i].endsWith(u'Z'))
            return false;
        e.quando = e.quando.toUTC();
        if (!decodifica(pecas[i + 1], e.operador) || !decodifica(pecas[i + 2], e.acao))
            return false;
        for (QStringView trinca : pecas[i + 3].split(u';', Qt::SkipEmptyParts)) {
            const QList<QStringView> partes = trinca.split(u',');
            Alteracao a;
            if (partes.size() != 3 || !decodifica(partes[0], a.campo) || !decodifica(partes[1], a.antes)
                || !decodifica(partes[2], a.depois))
                return false;
            e.alteracoes.append(a);
        }
        entradas.append(e);
    }
    return true;
}

} // namespace Historico
