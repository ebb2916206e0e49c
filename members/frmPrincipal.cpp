#include "members/frmPrincipal.h"

#include <QTimer>

frmPrincipal::frmPrincipal(QWidget* parent) : QMainWindow(parent), timerTimeOut(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Cadastro de Membros"));
}
