// Writing and reading the requests and replies of an office that works disconnected.
#include "protocol/Sincronia.h"

namespace Sincronia {

namespace {

bool numero(QStringView texto, qint64& valor)
{
    bool ok = false;
    valor = texto.toLongLong(&ok);
    return ok && valor >= 0 && texto == QString::number(valor);
}

QString juntaComTamanhos(int codigo, const QStringList& pecas)
{
    QString saida = QStringLiteral("%1|%2|").arg(codigo).arg(pecas.size());
    for (const QString& p : pecas)
        saida += QString::number(p.size()) + u'|' + p;
    return saida;
}

// "<code>|<n>|" then n pieces "<length>|<text>", nothing after them; each piece must start with
// "<codigoDaPeca>|".
bool separaPorTamanhos(QStringView mensagem, int codigo, int codigoDaPeca, QList<QStringView>& pecas)
{
    pecas.clear();
    const QString prefixo = QString::number(codigo) + u'|';
    if (!mensagem.startsWith(prefixo))
        return false;
    QStringView resto = mensagem.mid(prefixo.size());
    qsizetype barra = resto.indexOf(u'|');
    qint64 n = 0;
    if (barra < 0 || !numero(resto.left(barra), n) || n > maximoDoGrupo * 4)
        return false;
    resto = resto.mid(barra + 1);
    const QString codigoDaPecaComBarra = QString::number(codigoDaPeca) + u'|';
    for (qint64 i = 0; i < n; ++i) {
        barra = resto.indexOf(u'|');
        qint64 tamanho = 0;
        if (barra < 0 || !numero(resto.left(barra), tamanho) || tamanho > resto.size() - barra - 1)
            return false;
        const QStringView peca = resto.mid(barra + 1, tamanho);
        if (!peca.startsWith(codigoDaPecaComBarra))
            return false;
        pecas.append(peca);
        resto = resto.mid(barra + 1 + tamanho);
    }
    return resto.isEmpty();
}

} // namespace

QString pedidoDasMudancas(qint64 desde)
{
    return QStringLiteral("%1|%2").arg(codigoDasMudancas).arg(desde);
}

bool lePedidoDasMudancas(QStringView mensagem, qint64& desde)
{
    const QList<QStringView> pecas = mensagem.split(u'|');
    return pecas.size() == 2 && pecas[0] == QString::number(codigoDasMudancas) && numero(pecas[1], desde);
}

QByteArray inicioDaLista(qint64 numeroAgora)
{
    return QByteArray::number(codigoDaListaDeMudancas) + '|' + QByteArray::number(numeroAgora);
}

QByteArray itemDaFicha(qint64 versao, QByteArrayView fichaNaLista)
{
    return "@@@F|" + QByteArray::number(versao) + '|' + fichaNaLista.toByteArray();
}

QByteArray itemExcluido(qint64 versao, qint32 numero)
{
    return "@@@X|" + QByteArray::number(versao) + '|' + QByteArray::number(numero);
}

bool leListaDeMudancas(QStringView mensagem, qint64& numeroAgora, QList<Item>& itens)
{
    itens.clear();
    const QList<QStringView> partes = mensagem.split(QStringLiteral("@@@"));
    const QList<QStringView> cabeca = partes[0].split(u'|');
    if (cabeca.size() != 2 || cabeca[0] != QString::number(codigoDaListaDeMudancas) || !numero(cabeca[1], numeroAgora))
        return false;
    for (qsizetype i = 1; i < partes.size(); ++i) {
        const QStringView p = partes[i];
        const qsizetype barra = p.indexOf(u'|', 2);
        if (p.size() < 4 || (!p.startsWith(u"F|") && !p.startsWith(u"X|")) || barra < 0)
            return false;
        Item item;
        item.excluida = p[0] == u'X';
        if (!numero(p.mid(2, barra - 2), item.versao))
            return false;
        const QStringView resto = p.mid(barra + 1);
        qint64 n = 0;
        if (!numero(item.excluida ? resto : resto.left(resto.indexOf(u'|')), n) || n <= 0 || n > 0x7fffffff)
            return false;
        item.numero = qint32(n);
        if (!item.excluida)
            item.ficha = resto.toString();
        itens.append(item);
    }
    return true;
}

bool idValido(QStringView id)
{
    if (id.isEmpty() || id.size() > 64)
        return false;
    for (QChar c : id)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_'))
            return false;
    return true;
}

QString pedidoDaMudanca(const Mudanca& m)
{
    return QStringLiteral("%1|%2|%3|%4|").arg(codigoDaMudanca).arg(m.id).arg(m.base).arg(m.feitaEmMs) + m.pedido;
}

bool lePedidoDaMudanca(QStringView mensagem, Mudanca& m)
{
    // The request inside keeps its own "|": only the first four pieces are split off.
    QStringView resto = mensagem;
    QStringView pecas[4];
    for (QStringView& peca : pecas) {
        const qsizetype barra = resto.indexOf(u'|');
        if (barra < 0)
            return false;
        peca = resto.left(barra);
        resto = resto.mid(barra + 1);
    }
    if (pecas[0] != QString::number(codigoDaMudanca) || !idValido(pecas[1]) || !numero(pecas[2], m.base)
        || !numero(pecas[3], m.feitaEmMs))
        return false;
    const QStringView codigo = resto.left(resto.indexOf(u'|'));
    if (codigo != u"6" && codigo != u"8" && codigo != u"10")
        return false;
    m.id = pecas[1].toString();
    m.pedido = resto.toString();
    return true;
}

QString desfecho(const Desfecho& d)
{
    const QString tipo = d.conflito ? QStringLiteral("C") : QStringLiteral("A");
    return QStringLiteral("%1|%2|%3|%4|").arg(codigoDoDesfecho).arg(d.id, tipo).arg(d.versao) + d.resposta;
}

bool leDesfecho(QStringView mensagem, Desfecho& d)
{
    QStringView resto = mensagem;
    QStringView pecas[4];
    for (QStringView& peca : pecas) {
        const qsizetype barra = resto.indexOf(u'|');
        if (barra < 0)
            return false;
        peca = resto.left(barra);
        resto = resto.mid(barra + 1);
    }
    if (pecas[0] != QString::number(codigoDoDesfecho) || !idValido(pecas[1]) || (pecas[2] != u"A" && pecas[2] != u"C")
        || !numero(pecas[3], d.versao))
        return false;
    d.id = pecas[1].toString();
    d.conflito = pecas[2] == u"C";
    d.resposta = resto.toString();
    return true;
}

QString pedidoDoGrupo(const QList<Mudanca>& mudancas)
{
    QStringList pecas;
    for (const Mudanca& m : mudancas)
        pecas << pedidoDaMudanca(m);
    return juntaComTamanhos(codigoDoGrupo, pecas);
}

bool lePedidoDoGrupo(QStringView mensagem, QList<QStringView>& pedidos)
{
    return separaPorTamanhos(mensagem, codigoDoGrupo, codigoDaMudanca, pedidos) && !pedidos.isEmpty();
}

QString desfechos(const QStringList& respostas)
{
    return juntaComTamanhos(codigoDosDesfechos, respostas);
}

bool leDesfechos(QStringView mensagem, QList<Desfecho>& lista)
{
    lista.clear();
    QList<QStringView> pecas;
    if (!separaPorTamanhos(mensagem, codigoDosDesfechos, codigoDoDesfecho, pecas))
        return false;
    for (QStringView p : std::as_const(pecas)) {
        Desfecho d;
        if (!leDesfecho(p, d))
            return false;
        lista.append(d);
    }
    return true;
}

} // namespace Sincronia
