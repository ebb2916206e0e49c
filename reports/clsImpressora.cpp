#include "reports/clsImpressora.h"

void clsImpressora::Imprime(const QString&) {}
