#include "protocol/clsAgendaCongregacao.h"
#include "protocol/FormatoBR.h"
#include "protocol/Pecas.h"

QString clsAgendaCongregacao::toPipeString() const
{
    QString texto;
    escreveEm(texto);
    return texto;
}

void clsAgendaCongregacao::escreveEm(QString& texto) const
{
    FormatoBR::escreveInteiro(texto, numeroFicha);
    texto += u'|';
    texto += nome;
    texto += u'|';
    departamento.escreveEm(texto);
}

void clsAgendaCongregacao::fromPipeString(QStringView pipeString)
{
    static const QString origem = QString::fromLatin1(nomeDaClasse);
    Pecas pecas(pipeString, origem);
    numeroFicha = FormatoBR::converteInteiro(pecas.proxima("numeroFicha"), origem);
    nome = pecas.proxima("nome").toString();
    departamento.fromPipeString(pecas.resto());
}
