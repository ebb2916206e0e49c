#include "connection/frmLogin.h"

namespace {
frmLogin* unica = nullptr;
}

frmLogin::frmLogin(QWidget* parent) : QWidget(parent) {}

frmLogin* frmLogin::abre()
{
    if (!unica)
        unica = new frmLogin;
    unica->show();
    return unica;
}

frmLogin* frmLogin::instancia()
{
    return unica;
}
