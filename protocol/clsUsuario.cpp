#include "protocol/clsUsuario.h"
#include "protocol/Pecas.h"

QString clsUsuario::toPipeString() const
{
    QString texto = usuario;
    texto += u'|';
    texto += senha;
    texto += u'|';
    departamento.escreveEm(texto);
    return texto;
}

void clsUsuario::fromPipeString(QStringView pipeString)
{
    static const QString origem = QString::fromLatin1(nomeDaClasse);
    Pecas pecas(pipeString, origem);
    usuario = pecas.proxima("usuario").toString();
    senha = pecas.proxima("senha").toString();
    departamento.fromPipeString(pecas.resto());
}
