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
    qsizetype tamanhoNoFio() const { return 11 + 1 + nome.size() + 1 + 11 + 1 + departamento.dsDepartamento.size(); }
};

Q_DECLARE_TYPEINFO(clsAgendaCongregacao, Q_RELOCATABLE_TYPE);
