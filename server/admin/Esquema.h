#pragma once
// The registry's tables and their migrations. Tables: versao_esquema (one row, the schema's
// version), departamentos, operadores (password hashes only), sessoes (see SessoesGravadas)
// fichas (one row per member sheet, keyed by department and sheet number; its columns are
// LinhaDaFicha's), historico (who did what, see Historico), mudancas and mudancas_aplicadas (the
// record of changes, see Mudancas). The SQL is kept to what both engines accept.
//
// A database made by an earlier version is brought up to this one by the migration steps,
// run in order from its version up, all in one transaction; one made by a newer version is
// refused. Every operation returns false on failure; the Banco's `ultimoErro()` tells which.
#include <QStringList>

class Banco;

class Esquema {
public:
    explicit Esquema(Banco& banco) : m_banco(banco) {}

    // Creates whatever table or index is missing, then brings the tables up to date.
    bool criaEsquema();
    // Whether the database has the registry's tables (a missing table is told as such).
    bool temEsquema();
    // Brings a database made by an earlier version up to this one (in one transaction);
    // refuses one made by a newer version.
    bool atualizaEsquema();
    static constexpr int versaoDoEsquema = 7;
    // What the migration had to tell the administrator (a history whose chain already failed).
    const QStringList& avisos() const { return m_avisos; }

private:
    bool versao(int& v);

    QStringList m_avisos;
    Banco& m_banco;
};
