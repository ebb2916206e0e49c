#pragma once
// The registry's departments and operators (departamentos, operadores): what the administration
// commands keep, and the operator a login looks up. Operators keep password hashes only (see
// Senhas). Disabling, removing an operator or changing its password ends that operator's
// sessions in the same transaction.
//
// Every operation returns false on a database failure; the Banco's `ultimoErro()` tells which.
#include <QList>
#include <QString>

#include <optional>

class Banco;

struct Departamento {
    qint32 id = 0;
    QString descricao;
};

struct Operador {
    QString usuario;
    QString hash;
    Departamento departamento;
    bool ativo = true;
};

class Cadastro {
public:
    explicit Cadastro(Banco& banco) : m_banco(banco) {}

    bool gravaDepartamento(const Departamento& d);
    bool gravaOperador(const QString& usuario, const QString& hash, qint32 idDepartamento, bool& novo);
    bool departamentos(QList<Departamento>& saida);
    bool operadores(QList<Operador>& saida);          // hashes left empty
    bool operador(const QString& usuario, std::optional<Operador>& saida);
    // Operator lifecycle: each ends that operator's sessions in the same transaction.
    bool ativaOperador(const QString& usuario, bool ativo, bool& achou);
    bool removeOperador(const QString& usuario, bool& achou);
    bool trocaSenha(const QString& usuario, const QString& hash, bool& achou);
    // Whether the registry holds any department, operator or sheet.
    bool temDados(bool& tem);

private:
    Banco& m_banco;
};
