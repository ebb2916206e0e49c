#include "protocol/clsFiltroBusca.h"
#include "protocol/FormatoBR.h"
#include "protocol/Pecas.h"

clsFiltroBusca::clsFiltroBusca() : dataInicial(FormatoBR::dataZero()), dataFinal(FormatoBR::dataZero()) {}

QString clsFiltroBusca::toPipeString() const
{
    QString texto;
    FormatoBR::escreveInteiro(texto, numeroFicha);
    texto += u'|';
    texto += nome;
    texto += u'|';
    texto += FormatoBR::formataData(dataInicial);
    texto += u'|';
    texto += FormatoBR::formataData(dataFinal);
    texto += u'|';
    departamento.escreveEm(texto);
    return texto;
}

void clsFiltroBusca::fromPipeString(QStringView pipeString)
{
    static const QString origem = QString::fromLatin1(nomeDaClasse);
    Pecas pecas(pipeString, origem);
    numeroFicha = FormatoBR::converteInteiro(pecas.proxima("numeroFicha"), origem);
    nome = pecas.proxima("nome").toString();
    dataInicial = FormatoBR::converteData(pecas.proxima("dataInicial"), origem);
    dataFinal = FormatoBR::converteData(pecas.proxima("dataFinal"), origem);
    departamento.fromPipeString(pecas.resto());
}
