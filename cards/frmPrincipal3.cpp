#include "cards/frmPrincipal3.h"

frmPrincipal3::frmPrincipal3(QWidget* parent) : QMainWindow(parent) {}
