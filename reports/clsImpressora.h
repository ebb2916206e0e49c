#pragma once
#include <QString>

// Text output to the default printer (placeholder until the reports are built).
class clsImpressora {
public:
    void Imprime(const QString& texto);
};
