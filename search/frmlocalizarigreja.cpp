#include "search/frmlocalizarigreja.h"

frmlocalizarigreja::frmlocalizarigreja(QWidget* parent)
    : JanelaDeBusca(parent, QStringLiteral("frmlocalizarigreja"), QStringLiteral(" Localizar Congregações"))
{
}

void frmlocalizarigreja::mostra(QWidget* dono)
{
    mostraNova<frmlocalizarigreja>(dono);
}
