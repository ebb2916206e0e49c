#include "reports/frmRelatorio.h"

frmRelatorio::frmRelatorio(QWidget* parent) : QWidget(parent) {}
