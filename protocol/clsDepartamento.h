#pragma once
#include "protocol/Registro.h"

// The section of the organisation an operator belongs to; every record carries one as its
// two trailing pieces: idDepartamento|dsDepartamento.
class clsDepartamento : public ComComando<clsDepartamento> {
public:
    static constexpr const char* nomeDaClasse = "clsDepartamento";

    qint32 idDepartamento = 0;
    QString dsDepartamento;

    QString toPipeString() const;
    void fromPipeString(QStringView pipeString);
    void escreveEm(QString& texto) const;

    bool operator==(const clsDepartamento&) const = default;
};

Q_DECLARE_TYPEINFO(clsDepartamento, Q_RELOCATABLE_TYPE);
