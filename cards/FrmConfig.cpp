#include "cards/FrmConfig.h"

FrmConfig::FrmConfig(QWidget* parent) : QDialog(parent) {}
