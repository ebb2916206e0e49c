#include "renewal/frmprincipal2.h"

frmprincipal2::frmprincipal2(QWidget* parent) : QMainWindow(parent) {}
