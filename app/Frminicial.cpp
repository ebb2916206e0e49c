#include "app/Frminicial.h"

Frminicial::Frminicial(QWidget* parent) : QMainWindow(parent) {}
