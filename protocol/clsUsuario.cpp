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
    Pecas pecas(pipeString, QString::fromLatin1(nomeDaClasse));
    usuario = pecas.proxima("usuario").toString();
    senha = pecas.proxima("senha").toString();
    departamento.fromPipeString(pecas.resto());
}
