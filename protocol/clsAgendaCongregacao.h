#pragma once
#include "protocol/clsAgenda.h"

// A member sheet with its congregation's name. Only numeroFicha, nome and the department
// travel: numeroFicha|nome|idDepartamento|dsDepartamento.
class clsAgendaCongregacao : public DadosDaFicha,
                             public ComComando<clsAgendaCongregacao>,
                             public ListaDoFio<clsAgendaCongregacao> {
public:
    static constexpr const char* nomeDaClasse = "clsAgendaCongregacao";

    qint32 numeroFicha = 0;
    QString congregacao;
    clsDepartamento departamento;

    QString toPipeString() const;
    void fromPipeString(QStringView pipeString);
    void escreveEm(QString& texto) const;
};
