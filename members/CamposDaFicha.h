#pragma once
// The member sheet as data. One row per control of the sheet, in reading order (row by row,
// left to right): its name, kind, the label beside it, which record property it shows and
// which it writes, its length limit, its placeholder, its key filter and which actions copy it.
// FormularioFicha (the widget) builds the controls, the copy to and from clsAgenda, the
// placeholders and the refreshes by walking this table; nothing about a single field is
// written anywhere else.
//
// How a sheet window configures its form:
//
//     QList<ControleDaFicha> campos = CamposDaFicha::padrao();       // the member window's sheet
//     CamposDaFicha::remove(campos, {"txtstatus", "txtstatuscod"});  // controls it does not have
//     CamposDaFicha::altera(campos, "txtNFicha", [](ControleDaFicha& c) {
//         c.mostraTexto(&clsAgenda::sistema).semCopia();               // shows another property
//     });
//     OpcoesDaFicha opcoes;
//     opcoes.filtrosDeTecla = true;      // the key filters of the rows are switched on
//     opcoes.reformataDatas = false;     // the seven date texts are shown as stored
//     auto* ficha = new FormularioFicha(campos, opcoes, this);
//
// The rows' `linha` numbers place them: rows with the same number share one line of the form.
#include "protocol/clsAgenda.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>

// The actions that write placeholders or copy the sheet into the record.
namespace AcaoDaFicha {
enum : unsigned {
    Nenhuma = 0,
    IncluiNovo = 1,      // "Incluir Novo": the server chooses the number        (N)
    IncluiCadastro = 2,  // "Incluir Cadastro": under the number typed by the operator (C)
    Altera = 4,          // "Alterar Cadastro"                                  (A)
    Todas = IncluiNovo | IncluiCadastro | Altera,
};
}

struct ControleDaFicha {
    // What kind of control the form builds for the row.
    enum class Tipo {
        Texto,       // single-line text box (QLineEdit)
        Memo,        // multi-line text box with a vertical scroll bar (QPlainTextEdit)
        Lista,       // editable drop-down list (CaixaDeLista)
        Rotulo,      // label whose caption comes from the record (QLabel)
        Titulo,      // fixed caption, not mapped (a heading)
        Erro,        // validation label tagged "labelDeErro"
        Calendario,  // date picker (QDateTimeEdit, dd/MM/yyyy)
        Relogio,     // time picker (QDateTimeEdit, HH:mm:ss)
    };

    // How the value travels between the record and the control.
    enum class Conversao {
        Nenhuma,       // not mapped (display only, or used by the window itself)
        Texto,         // `mostra` shown as stored; the text written to every `grava`
        NumeroFicha,   // numeroFicha: empty when 0; the copy reads a whole number
        Cep,           // as Texto, every "-" removed when written
        DDD,           // area code: first two characters of `mostra`; written with the partner appended
        Telefone,      // the number after the area code; written by its DDD row
        DataDaFicha,   // the record's Data, dd/MM/yyyy; today when the record has none
        Valor,         // the record's Valor with two decimals (pt-BR)
        DataTexto,     // a date kept as text: today for a record without Data, else reformatted
        Departamento,  // shows the department's description; written to `grava`
        Registro,      // label: every refresh writes "MEMBROS"; its caption is written to `grava`
        Usuario,       // not refreshed; written to `grava`
        DataUsuario,   // picker date written as dd/MM/yyyy
        DataUsuarioComoTexto, // picker date and time written as dd/MM/yyyy HH:mm:ss (date alone at midnight)
        HoraUsuario,   // picker set to now, then written as HH:mm:ss
    };

    // Key filter used when the window switches filters on (OpcoesDaFicha::filtrosDeTecla).
    enum class Filtro {
        Nenhum,
        Nome,          // letters as typed, ".", blank, copy, paste
        LetrasDigitos, // letters as typed, digits, ".", blank, copy, paste
        UF,            // letters turned to upper case, copy
        Digitos,       // digits, copy
        Data,          // digits, "/", copy
        Valor,         // digits, ",", copy
    };

    QString nome;
    Tipo tipo = Tipo::Texto;
    QString rotulo;                       // caption of the label beside it; empty: none
    Conversao conversao = Conversao::Nenhuma;
    QString clsAgenda::* mostra = nullptr;          // property a refresh shows (nullptr: not shown)
    QString clsAgenda::* grava[2] = {nullptr, nullptr}; // properties the copy writes
    unsigned copia = AcaoDaFicha::Nenhuma;          // actions that copy the row
    int maximo = 0;                       // longest text accepted; 0 = no limit
    QString marcador;                     // placeholder written into an empty control
    unsigned marcadorEm = AcaoDaFicha::Nenhuma;     // actions that write the placeholder
    Filtro filtro = Filtro::Nenhum;
    QString parceiro;                     // DDD row: the number box written after it
    QStringList itens;                    // fixed items of a drop-down list
    bool limpaNaFalha = false;            // emptied when a refresh fails
    bool foraDoSalVar = false;            // left alone by AtualizaGUISalVar

    // Placement
    int linha = 0;
    int largura = 0;                      // width in characters; 0 = takes the free space
    bool rotuloADireita = false;
    bool centralizado = false;
    bool alinhadoADireita = false;
    bool semBorda = false;
    bool somenteLeitura = false;
    bool semTab = false;

    // Fluent setters, so that a table row or a window's change reads as one line.
    ControleDaFicha& mostraTexto(QString clsAgenda::* p) { mostra = p; return *this; }
    ControleDaFicha& gravaEm(QString clsAgenda::* a, QString clsAgenda::* b = nullptr)
    {
        grava[0] = a;
        grava[1] = b;
        return *this;
    }
    ControleDaFicha& copiadoEm(unsigned acoes) { copia = acoes; return *this; }
    ControleDaFicha& semCopia() { copia = AcaoDaFicha::Nenhuma; return *this; }
    ControleDaFicha& max(int m) { maximo = m; return *this; }
    ControleDaFicha& comMarcador(const QString& m, unsigned em = AcaoDaFicha::IncluiNovo | AcaoDaFicha::IncluiCadastro)
    {
        marcador = m;
        marcadorEm = em;
        return *this;
    }
    ControleDaFicha& semMarcador() { marcador.clear(); marcadorEm = AcaoDaFicha::Nenhuma; return *this; }
    ControleDaFicha& comFiltro(Filtro f) { filtro = f; return *this; }
    ControleDaFicha& na(int l, int w = 0) { linha = l; largura = w; return *this; }
    ControleDaFicha& limpa(bool l = true) { limpaNaFalha = l; return *this; }
};

// Options of a whole form, for the differences between the sheet windows that are not one row.
struct OpcoesDaFicha {
    bool filtrosDeTecla = false;   // apply the rows' key filters
    bool reformataDatas = true;    // DataTexto rows: rewrite dates as dd/MM/yyyy (else as stored)
    bool limpaNaFalha = true;      // a failed refresh empties the rows marked limpaNaFalha
    QString origem = QStringLiteral("frmPrincipal");   // source named in error boxes
};

namespace CamposDaFicha {

// The member registration window's sheet, in reading order.
QList<ControleDaFicha> padrao();

// Window changes: drop rows, or edit the row named `nome` (raises nothing when absent).
void remove(QList<ControleDaFicha>& campos, std::initializer_list<const char*> nomes);
void altera(QList<ControleDaFicha>& campos, const QString& nome, const std::function<void(ControleDaFicha&)>& mudanca);
// Inserts `novo` just after the row named `depoisDe` (at the end when absent).
void insere(QList<ControleDaFicha>& campos, const QString& depoisDe, const ControleDaFicha& novo);

} // namespace CamposDaFicha
