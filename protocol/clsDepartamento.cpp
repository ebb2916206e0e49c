#include "protocol/clsDepartamento.h"
#include "protocol/FormatoBR.h"
#include "protocol/Pecas.h"

QString clsDepartamento::toPipeString() const
{
    QString texto;
    escreveEm(texto);
    return texto;
}

void clsDepartamento::escreveEm(QString& texto) const
{
    FormatoBR::escreveInteiro(texto, idDepartamento);
    texto += u'|';
    texto += dsDepartamento;
}

void clsDepartamento::fromPipeString(QStringView pipeString)
{
    static const QString origem = QString::fromLatin1(nomeDaClasse);
    Pecas pecas(pipeString, origem);
    idDepartamento = FormatoBR::converteInteiro(pecas.proxima("idDepartamento"), origem);
    dsDepartamento = pecas.proxima("dsDepartamento").toString();
    // further pieces are ignored
}
