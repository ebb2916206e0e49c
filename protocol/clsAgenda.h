#pragma once
#include "protocol/clsDepartamento.h"

#include <QDate>
#include <QList>
#include <span>

// Texts every member sheet has, shared by the member record and the congregation record.
struct DadosDaFicha {
    QString nome, endereco, bairro, cidade, cep, uf, telResidencial, telComercial;
    QDate Data;            // registration date; a record never set travels as 30/12/1899
    double Valor = 0;
    QString ocorrencia, IGREJA, sistema, registro, Ficha;
    QString civil, n, fone, uf2, nascido, niver, nascidade, filiacao, filiacaomae, conjugue,
        datacas, filhos, maiores, menores, grau, profissao, firma, endfirma, rg, cic, titulo,
        zona, secao, consagrado, ondefoi, datacons, qual, dia, mes, ano, batismo2, local1,
        local2, admitidopor, em, jafoimembro, obs, dataadmissao, validade, codcong, setor,
        setornome, cidadecong, ufcong, usuario, datausuario;

    // The zero date, 30/12/1899, as a day number: built for every record of a list.
    DadosDaFicha() : Data(QDate::fromJulianDay(2415019)) {}
    bool operator==(const DadosDaFicha&) const = default;
};

class clsAgenda;

// One piece of the member record's wire form. Text pieces point at their member; the
// three typed ones are told apart by `tipo`.
struct CampoDaFicha {
    enum class Tipo { Inteiro, Texto, Data, Valor };
    const char* nome;
    Tipo tipo;
    QString clsAgenda::* texto;   // only for Tipo::Texto
};

// The member sheet: 65 own pieces in wire order, then the department's two.
class clsAgenda : public DadosDaFicha, public ComComando<clsAgenda>, public ListaDoFio<clsAgenda> {
public:
    static constexpr const char* nomeDaClasse = "clsAgenda";
    static constexpr int pecasNoFio = 67;

    qint32 numeroFicha = 0;
    QString datausuariohora, status, statuscod;
    clsDepartamento departamento;

    // The wire order: numeroFicha first, statuscod before status, IGREJA after Ficha.
    static std::span<const CampoDaFicha> campos();

    QString toPipeString() const;
    void fromPipeString(QStringView pipeString);
    void escreveEm(QString& texto) const;
    qsizetype tamanhoNoFio() const;   // at least the length of toPipeString()

    bool operator==(const clsAgenda&) const = default;
};

// Every member is relocatable: lists of sheets grow by moving memory, not record by record.
Q_DECLARE_TYPEINFO(clsAgenda, Q_RELOCATABLE_TYPE);
