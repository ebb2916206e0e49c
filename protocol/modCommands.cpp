#include "protocol/modCommands.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"

int Codigo::pecasDaMensagem(int codigo)
{
    switch (codigo) {
    case Login:
    case LoginAceito:
        return 1 + 4;
    case Salva:
    case Salvo:
    case Inclui:
    case Incluido:
    case Exclui:
        return 1 + 67;
    case Busca:
        return 1 + 6;
    case Encontrados:
        return -1;

    default:
        return 1;
    }
}

int LeComando(QStringView mensagem)
{
    // The split of an empty message has no first piece at all.
    if (mensagem.isEmpty())
        throw ErroDeExecucao(QStringLiteral("LeComando"),
                             QStringLiteral("Subscrito fora do intervalo: a mensagem está vazia"));
    const qsizetype barra = mensagem.indexOf(u'|');
    return FormatoBR::converteInteiro(barra < 0 ? mensagem : mensagem.left(barra), QStringLiteral("LeComando"));
}

QString MontaComando(int codigo)
{
    return QString::number(codigo);
}

QStringView separaComando(QStringView mensagem, QStringView& carga)
{
    const qsizetype barra = mensagem.indexOf(u'|');
    if (barra < 0) {
        carga = mensagem;
        return QStringView();
    }
    carga = mensagem.mid(barra + 1);
    return mensagem.left(barra);
}

QString comComando(int codigo, const QString& carga)
{
    QString texto = QString::number(codigo);
    texto.reserve(texto.size() + 1 + carga.size());
    texto += u'|';
    texto += carga;
    return texto;
}

int codigoDaMensagem(QStringView codigo, const QString& origem)
{
    if (codigo.isNull())
        throw ErroDeExecucao(origem, QStringLiteral("Chamada de procedimento ou argumento inválido: a mensagem não tem \"|\""));
    return FormatoBR::converteInteiro(codigo, origem);
}
