#pragma once
#include "protocol/clsDepartamento.h"

#include <QDate>

// Search criteria for code 12: numeroFicha|nome|dataInicial|dataFinal|idDepartamento|dsDepartamento.
// An unset criterion (0, empty name, zero date) is not applied by the server.
// `congregacao` is kept in the record but never travels.
class clsFiltroBusca : public ComComando<clsFiltroBusca> {
public:
    static constexpr const char* nomeDaClasse = "clsFiltroBusca";

    clsFiltroBusca();

    qint32 numeroFicha = 0;
    QString nome;
    QDate dataInicial;
    QDate dataFinal;
    QString congregacao;
    clsDepartamento departamento;

    QString toPipeString() const;
    void fromPipeString(QStringView pipeString);
};

// The congregation search filter: same criteria, same wire form.
class clsFiltroBuscacong : public clsFiltroBusca {
public:
    static constexpr const char* nomeDaClasse = "clsFiltroBuscacong";
};
