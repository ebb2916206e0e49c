#pragma once
#include "protocol/clsAgenda.h"

#include <QList>

// Realistic member sheets for demonstrations and load tests: Portuguese names with their
// accents, addresses, registration dates spread over several years and amounts in reais.
// The same seed always gives the same sheets. Numbers and department are left to the caller.
namespace FichasDemo {

QList<clsAgenda> gera(int quantas, quint32 semente);

} // namespace FichasDemo
