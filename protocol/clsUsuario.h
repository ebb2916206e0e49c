#pragma once
#include "protocol/clsDepartamento.h"

// An operator account: usuario|senha|idDepartamento|dsDepartamento.
class clsUsuario : public ComComando<clsUsuario> {
public:
    static constexpr const char* nomeDaClasse = "clsUsuario";

    QString usuario;
    QString senha;
    clsDepartamento departamento;

    QString toPipeString() const;
    void fromPipeString(QStringView pipeString);

    bool operator==(const clsUsuario&) const = default;
};
